// libFuzzer harness for the BMP decoder that reads skin pictures.
#include "platform/bmp.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<tw::Bitmap> bmp = tw::DecodeBmp({data, size});
    if (bmp) {
        const bool sane = bmp->width > 0 && bmp->height > 0 &&
                          bmp->pixels.size() == static_cast<std::size_t>(bmp->width) *
                                                    static_cast<std::size_t>(bmp->height);
        if (!sane) __builtin_trap();
    }
    return 0;
}
