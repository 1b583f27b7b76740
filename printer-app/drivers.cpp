#include "drivers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device_ids.h"
#include "engine.h"
#include "job_settings.h"
#include "media.h"
#include "printing.h"

namespace {

struct DriverNames {
    char name[16];         // norvane_r01
    char description[64];  // Norvane R01 Series
};

DriverNames driverNames[kDriverCount];
pappl_pr_driver_t drivers[kDriverCount];

// "Norvane R01 Series" -> "norvane_r01"
void MakeDriverName(const char* modelName, char* name, size_t size)
{
    char model[8] = "";
    std::sscanf(modelName, "Norvane %7s", model);
    std::snprintf(name, size, "norvane_%s", model);
    for (char* p = name; *p; ++p)
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
}

// The largest margin of each side over the model's sizes, in hundredths of
// millimetres: what clients keep clear on every size.
void LargestMargins(int model, int* leftRight, int* bottomTop)
{
    *leftRight = 0;
    *bottomTop = 0;
    for (const MediaName& m : mediaNames) {
        SheetInfo sheet{};
        if (!FindSheet(model, m.widthPt, m.heightPt, &sheet))
            continue;
        const Margins margins = SheetMargins(sheet);
        *leftRight = std::max({*leftRight, MarginHmm(margins.left), MarginHmm(margins.right)});
        *bottomTop = std::max({*bottomTop, MarginHmm(margins.bottom), MarginHmm(margins.top)});
    }
    *leftRight = std::max(*leftRight, MarginHmm(kCustomMarginPt));
    *bottomTop = std::max(*bottomTop, MarginHmm(kCustomMarginPt));
}

// The media-col of a loaded size. PAPPL takes only the margins it offers
// for every size (media-*-margin-supported), so these are the largest; the
// page is still cropped to the size's own printable area.
pappl_media_col_t MediaCol(const pappl_pr_driver_data_t& data, const MediaName& m,
                           const char* source)
{
    pappl_media_col_t col{};
    col.left_margin = col.right_margin = data.left_right;
    col.bottom_margin = col.top_margin = data.bottom_top;
    col.size_width = SizeHmm(m.widthPt);
    col.size_length = SizeHmm(m.heightPt);
    std::snprintf(col.size_name, sizeof col.size_name, "%s", m.pwgName);
    std::snprintf(col.source, sizeof col.source, "%s", source);
    std::snprintf(col.type, sizeof col.type, "stationery");
    return col;
}

// PAPPL offers "auto" beside these by itself.
const char* const kSources[] = {"main", "manual"};

ipp_t* VendorAttributes()
{
    ipp_t* attrs = ippNew();
    for (const VendorOption& option : vendorOptions) {
        const std::string supported = std::string(option.name) + "-supported";
        const std::string byDefault = std::string(option.name) + "-default";
        if (option.kind == VendorKind::Switch) {
            ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
            ippAddBoolean(attrs, IPP_TAG_PRINTER, byDefault.c_str(), 0);
        } else {
            const char* values[] = {kBlankBackBefore, kBlankBackAfter};
            ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(), 2, nullptr,
                          values);
            ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, byDefault.c_str(), nullptr,
                         kBlankBackBefore);
        }
    }
    return attrs;
}

}  // namespace

pappl_pr_driver_t* PrinterDrivers()
{
    for (int i = 0; i < kDriverCount; ++i) {
        const ModelInfo model = GetModel(i);
        MakeDriverName(model.name, driverNames[i].name, sizeof driverNames[i].name);
        std::snprintf(driverNames[i].description, sizeof driverNames[i].description, "%s",
                      model.name);
        drivers[i] = {driverNames[i].name, driverNames[i].description,
                      DeviceIdForModel(model.name), nullptr};
    }
    return drivers;
}

int ModelForDriverName(const char* driverName)
{
    if (driverName == nullptr)
        return -1;
    for (int i = 0; i < kModelCount; ++i) {
        char name[16];
        MakeDriverName(GetModel(i).name, name, sizeof name);
        if (std::strcmp(name, driverName) == 0)
            return i;
    }
    return -1;
}

bool DriverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri,
                    const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs,
                    void* cbData)
{
    (void)deviceUri;
    (void)deviceId;
    (void)cbData;
    const int model = ModelForDriverName(driverName);
    if (model < 0) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "No driver named '%s'.", driverName ? driverName : "");
        return false;
    }
    const ModelInfo info = GetModel(model);

    data->rstartjob_cb = StartRasterJob;
    data->rstartpage_cb = StartRasterPage;
    data->rwriteline_cb = WriteRasterLine;
    data->rendpage_cb = EndRasterPage;
    data->rendjob_cb = EndRasterJob;

    std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", info.name);
    data->ppm = 20;  // nominal: clients only use it to estimate times
    data->kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_ENVELOPE | PAPPL_KIND_POSTCARD;
    data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    data->content_default = PAPPL_CONTENT_AUTO;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->scaling_default = PAPPL_SCALING_AUTO;
    data->orient_default = IPP_ORIENT_NONE;
    // The engine screens 8-bit grey itself.
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    data->force_raster_type = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    // The engine turns the backs of two-sided sheets itself.
    data->duplex = PAPPL_DUPLEX_NORMAL;
    data->sides_supported =
        PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;

    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = 600;
    if (info.platform == 1) {
        data->num_resolution = 3;
        data->x_resolution[1] = 1200;
        data->y_resolution[1] = 600;
        data->x_resolution[2] = data->y_resolution[2] = 1200;
    }
    data->x_default = data->y_default = 600;

    data->borderless = false;
    LargestMargins(model, &data->left_right, &data->bottom_top);
    data->num_media = 0;
    for (const MediaName& m : mediaNames)
        data->media[data->num_media++] = m.pwgName;
    // Custom sizes, as far as the printers feed them.
    static char customMin[64], customMax[64];
    std::snprintf(customMin, sizeof customMin, "custom_min_%.2fx%.2fmm",
                  SizeHmm(kCustomMinWidthPt) / 100.0, SizeHmm(kCustomMinHeightPt) / 100.0);
    std::snprintf(customMax, sizeof customMax, "custom_max_%.2fx%.2fmm",
                  SizeHmm(static_cast<int>(CustomMaxWidthPt())) / 100.0,
                  SizeHmm(static_cast<int>(CustomMaxHeightPt())) / 100.0);
    data->media[data->num_media++] = customMin;
    data->media[data->num_media++] = customMax;

    const MediaName* a4 = FindMediaName("iso_a4_210x297mm");
    data->media_default = MediaCol(*data, *a4, "auto");
    data->num_source = 2;
    for (int i = 0; i < 2; ++i) {
        data->source[i] = kSources[i];
        data->media_ready[i] = MediaCol(*data, *a4, kSources[i]);
    }
    // For tests: data that PAPPL refuses (a margin below the ones it offers), to
    // show that such a printer takes no job and stops the next start.
    if (std::getenv("NORVANE_TEST_REFUSED_DRIVER") != nullptr)
        data->media_ready[0].left_margin = data->left_right - 1;
    data->num_type = 1;
    data->type[0] = "stationery";

    // Four densities: light, normal, dark, darkest (see DensityFromDarkness).
    data->darkness_supported = 4;
    data->darkness_configured = 33;
    data->darkness_default = 0;

    data->num_vendor = kVendorOptionCount;
    for (int i = 0; i < kVendorOptionCount; ++i)
        data->vendor[i] = vendorOptions[i].name;
    *attrs = VendorAttributes();
    return true;
}

const char* AutoAddCallback(const char* deviceInfo, const char* deviceUri, const char* deviceId,
                            void* cbData)
{
    (void)deviceInfo;
    (void)deviceUri;
    (void)cbData;
    const int model = ModelForDeviceId(deviceId);
    return model < 0 ? nullptr : drivers[model].name;
}

const char* EnglishStrings()
{
    static std::string strings = [] {
        std::string s;
        auto add = [&s](const std::string& key, const std::string& text) {
            s += "\"" + key + "\" = \"" + text + "\";\n";
        };
        for (const VendorOption& option : vendorOptions)
            add(option.name, option.label);
        add(std::string("manual-duplex-blank-back.") + kBlankBackBefore, "Before the Even Pages");
        add(std::string("manual-duplex-blank-back.") + kBlankBackAfter, "After the Even Pages");
        add("media.om_16k_184.86x260mm", "16K 185 x 260 mm");
        add("media.om_16k_195.09x269.88mm", "16K 195 x 270 mm");
        add("media.om_32k_130.18x184.86mm", "32K 130 x 185 mm");
        add("media.om_32k_135.11x195.09mm", "32K 135 x 195 mm");
        add("media.na_oficio_8.5x13.5in", "Oficio 8.5 x 13.5 in");
        add("media.om_envelope_119.94x230.01mm", "Envelope 120 x 230 mm");
        return s;
    }();
    return strings.c_str();
}
