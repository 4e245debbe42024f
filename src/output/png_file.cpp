#include "output/png_file.h"

#include <png.h>

#include <cstdlib>

unsigned char* encodePng(const unsigned char* rgb, int width, int height, std::size_t& size,
                         std::string& reason) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // libpng's bound on the size of the file, so that it is compressed once, into place.
    size = PNG_IMAGE_PNG_SIZE_MAX(image);
    auto* bytes = static_cast<unsigned char*>(std::malloc(size));
    if (bytes == nullptr) {
        reason = "out of memory";
        return nullptr;
    }
    // A negative stride hands the rows over from the last one up: the picture's top comes first.
    const png_int_32 stride = -3 * width;
    png_alloc_size_t written = size;
    if (!png_image_write_to_memory(&image, bytes, &written, 0, rgb, stride, nullptr)) {
        reason = image.message;
        std::free(bytes);
        png_image_free(&image);
        return nullptr;
    }
    size = written;
    return bytes;
}
