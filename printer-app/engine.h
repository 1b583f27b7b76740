// The printer application's one door into the print engine it shares with
// rasterfilter: the models and their paper, the custom-size rule and the
// job settings. Nothing else in printer-app/ includes the engine's headers,
// so a change of the engine touches this file and engine.cpp only.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kModelCount = 35;

struct ModelInfo {
    const char* name;  // "Norvane R01 Series"
    int platform;      // 1, 2 or 3
};

// Model 0 .. kModelCount - 1, in the engine's model table order.
ModelInfo GetModel(int index);

// A sheet of the model's paper table: its size, the bitmap the printer
// images at 600 dpi and where that lies on the sheet (offsetX and offsetY
// dots from the left and top edges, or centred when both are 0).
struct SheetInfo {
    int widthPt;
    int heightPt;
    uint32_t imageWidth;
    uint32_t imageHeight;
    int offsetX;
    int offsetY;
};

// The sheet of exactly this size in the model's paper table.
bool FindSheet(int model, int widthPt, int heightPt, SheetInfo* sheet);

// Custom sizes: at most this large, imaged inside kCustomMarginPt on every
// side (the PPDs' custom-size margins).
unsigned CustomMaxWidthPt();
unsigned CustomMaxHeightPt();
constexpr unsigned kCustomMinWidthPt = 216;
constexpr unsigned kCustomMinHeightPt = 360;
constexpr int kCustomMarginPt = 15;

// The bitmap at 600 dpi of a custom sheet; false when the printer cannot
// take it.
bool CustomBitmap(unsigned widthPt, unsigned heightPt, uint32_t* width, uint32_t* height);

// What a job asks of the engine, in the engine's own terms.
struct JobSettings {
    int duplex = 0;          // 0 one-sided, 1 long edge, 2 short edge (machine duplex)
    int manualDuplex = 0;
    int density = 2;         // 1 light .. 4 darkest
    int tonerSave = 0;
    int feedLongEdge = 0;    // A5 fed long edge first
    int blankBackAfter = 0;  // manual duplex, odd count: blank back after the even pages
    int fineScreen = 0;      // the 1200-dpi quality screen
    int negative = 0;
    int inputSlot = 0;       // 0 auto, 1 manual feed, 2 paper tray
    int rotate180 = 0;
    int collate = 0;
};

// ---- A job on the engine ----

struct EngineJob;

struct EngineOutput {
    void* context;
    // Writes all count bytes to the printer; false when it cannot.
    bool (*write)(void* context, const uint8_t* bytes, size_t count);
    // One status line ("INFO:...", "ERROR:...", "PAGE:..."), line feed included.
    void (*status)(void* context, const char* line);
};

struct EngineJobStart {
    int model = 0;
    int jobId = 0;
    const char* manualDuplexText = "";
    // For tests: a fixed clock (seconds since the epoch, 0 = the system's)
    // and host name (null = the system's) for the document start.
    long long clockSeconds = 0;
    const char* hostName = nullptr;
};

// The engine shares a few flags across the process (cancel, output busy),
// so one job at a time runs on it: StartEngineJob waits for the one before
// to end. Never null.
EngineJob* StartEngineJob(const EngineJobStart& start, EngineOutput output);

// Opens a page of the layout (see page_layout.h), with the job's settings
// and copies (made by the engine, collated or by the printer). False when
// the job takes no more pages.
struct PageLayout;
bool EngineBeginPage(EngineJob* job, const PageLayout& layout, const JobSettings& settings,
                     int copies);
// One line of the page's bitmap: layout.width bytes of 8-bit grey, 255 white.
void EngineAddLine(EngineJob* job, const uint8_t* line);
// Completes the page. False when the job takes no more pages.
bool EngineFinishPage(EngineJob* job);
// The engine stops at the next step: the job was cancelled.
void EngineCancel(EngineJob* job);
// Two filler bytes to keep the printer's connection open, when the port is
// idle (platforms 1 and 2).
void EngineKeepAlive(EngineJob* job);
// The same while the job waits inside its end (for the turned stack of a
// manual-duplex job): the stream stands between two stages there.
void EngineKeepAliveWhileWaiting(EngineJob* job);
int EnginePlatform(const EngineJob* job);
// Ends the document (replays, blank back, end), removes the spools and
// frees the job; the next job may start. True when the job printed.
bool EndEngineJob(EngineJob* job);
