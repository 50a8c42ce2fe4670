// PNG, JPEG, TGA, BMP, GIF, PSD, PIC and PNM files: the decoder the first
// bytes name, over the file in memory, rows turned over for half of the
// inputs.

#include <cstddef>
#include <cstdint>

#include "base/image/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Image image = ImageUtil::decodeImage(data, size, "fuzz.img", size % 2 == 0);
    if (image.valid && !image.data.empty()) {
        volatile uint8_t sum = image.data.front() ^ image.data.back();
        (void)sum;
    }
    return 0;
}
