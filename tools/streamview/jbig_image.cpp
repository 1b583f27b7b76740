// Page images through JBIG-KIT's decoder, with the size the stream announced
// checked before the decoder allocates anything.
extern "C" {
#include <jbig.h>
}

#include <algorithm>

#include "decoder_context.h"
#include "stream/byte_order.h"

namespace streamview {

namespace {

class DecoderState {
public:
    DecoderState() { jbg_dec_init(&state); }
    ~DecoderState() { jbg_dec_free(&state); }
    DecoderState(const DecoderState&) = delete;
    DecoderState& operator=(const DecoderState&) = delete;
    jbg_dec_state state;
};

std::string Size(uint64_t x, uint64_t y) { return std::to_string(x) + "x" + std::to_string(y); }

}  // namespace

JbigHeader ParseJbigHeader(const uint8_t* p)
{
    JbigHeader h;
    h.DL = p[0];
    h.D = p[1];
    h.P = p[2];
    h.fill = p[3];
    h.XD = GetBE32(p + 4);
    h.YD = GetBE32(p + 8);
    h.L0 = GetBE32(p + 12);
    h.MX = p[16];
    h.MY = p[17];
    h.order = p[18];
    h.options = p[19];
    return h;
}

void AddJbigHeaderFields(Item& item, const JbigHeader& h)
{
    item.fields.push_back(Num("DL", h.DL));
    item.fields.push_back(Num("D", h.D));
    item.fields.push_back(Num("P", h.P));
    item.fields.push_back(Num("XD", h.XD));
    item.fields.push_back(Num("YD", h.YD));
    item.fields.push_back(Num("L0", h.L0));
    item.fields.push_back(Num("MX", h.MX));
    item.fields.push_back(Num("MY", h.MY));
    item.fields.push_back(Num("order", h.order));
    item.fields.push_back(Hex("options", h.options));
}

std::vector<uint8_t> DecodeJbigImage(const uint8_t* data, size_t size, const OffsetMap& where,
                                     uint32_t xd, uint32_t yd, const std::string& what,
                                     const std::string& sizeSource)
{
    constexpr size_t kHeaderLen = 20;
    if (size < kHeaderLen)
        Fail(where(0), what + " holds " + std::to_string(size) +
                           " bytes, too few for a JBIG image header (20)");
    const JbigHeader h = ParseJbigHeader(data);
    if (h.XD != xd || h.YD != yd)
        Fail(where(4), what + ": JBIG header gives " + Size(h.XD, h.YD) + " bits, " + sizeSource +
                           " announces " + Size(xd, yd));
    if (h.P != 1)
        Fail(where(2), what + ": JBIG header gives " + std::to_string(h.P) + " planes, not 1");
    if (xd == 0 || yd == 0)
        Fail(where(4), what + ": empty image (" + Size(xd, yd) + ")");
    if (static_cast<uint64_t>(xd) * yd > kMaxPageBits)
        Fail(where(4), what + ": image of " + Size(xd, yd) + " bits is larger than any page");

    DecoderState dec;
    jbg_dec_maxsize(&dec.state, xd, yd);
    // The decoder takes a non-const buffer.
    std::vector<uint8_t> input(data, data + size);
    size_t used = 0;
    const int rc = jbg_dec_in(&dec.state, input.data(), input.size(), &used);
    used = std::min(used, size);
    if (rc == JBG_EAGAIN)
        Fail(where(size), what + " ends before its JBIG image is complete");
    if (rc != JBG_EOK)
        Fail(where(used), what + ": JBIG decoder: " + jbg_strerror(rc));
    if (used < size)
        Fail(where(used), std::to_string(size - used) + " bytes follow the end of the JBIG image in " +
                              what);
    const unsigned long w = jbg_dec_getwidth(&dec.state);
    const unsigned long ht = jbg_dec_getheight(&dec.state);
    if (w != xd || ht != yd)
        Fail(where(size), what + ": decoded image is " + Size(w, ht) + " bits, " + sizeSource +
                              " announces " + Size(xd, yd));
    const unsigned char* image = jbg_dec_getimage(&dec.state, 0);
    const size_t bytes = (static_cast<size_t>(xd) + 7) / 8 * yd;
    if (!image || jbg_dec_getsize(&dec.state) != bytes)
        Fail(where(size), what + ": JBIG decoder returned no image of the expected size");
    return std::vector<uint8_t>(image, image + bytes);
}

}  // namespace streamview
