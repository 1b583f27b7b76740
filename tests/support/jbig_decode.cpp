#include "support/jbig_decode.h"

extern "C" {
#include <jbig.h>
}

bool DecodeJbig(const uint8_t* data, size_t size, JbigImage& image)
{
    std::vector<unsigned char> copy(data, data + size);  // jbg_dec_in wants it writable
    jbg_dec_state dec;
    jbg_dec_init(&dec);
    size_t used = 0;
    const int rc = jbg_dec_in(&dec, copy.data(), copy.size(), &used);
    bool ok = rc == JBG_EOK && used == size && jbg_dec_getplanes(&dec) == 1;
    if (ok) {
        image.width = static_cast<uint32_t>(jbg_dec_getwidth(&dec));
        image.height = static_cast<uint32_t>(jbg_dec_getheight(&dec));
        const unsigned char* plane = jbg_dec_getimage(&dec, 0);
        image.plane.assign(plane, plane + jbg_dec_getsize(&dec));
    }
    jbg_dec_free(&dec);
    return ok;
}
