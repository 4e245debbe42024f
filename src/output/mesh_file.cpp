#include "output/mesh_file.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "output/float_text.h"
#include "field/polygoniser.h"

namespace {

constexpr std::size_t kStlHeader = 80;     // bytes, free text
constexpr std::size_t kPiece = 64 * 1024;  // bytes handed to the sink at a time
constexpr std::size_t kMaxRecord = 512;    // bytes of the longest header, vertex or triangle
constexpr std::size_t kMaxFloatText = 16;  // the shortest text that reads back the same float
constexpr std::int32_t kSixteenths = 16;
constexpr float kExactSixteenths = 1 << 24;  // below it a float holds every whole number
constexpr int kNormalDigits = 6;             // decimals of a unit normal's components in text
constexpr std::uint32_t kNormalScale = 1000000;

// Bytes gathered into pieces for the sink.
struct Pieces {
    ByteSink sink;
    void* context;
    char* end;  // the next free byte of `buffer`
    char buffer[kPiece + kMaxRecord];

    // Where the next record goes; hands a full piece over first.
    char* room() {
        if (end - buffer >= static_cast<std::ptrdiff_t>(kPiece)) flush();
        return end;
    }
    void flush() {
        if (end != buffer) sink(context, buffer, static_cast<std::size_t>(end - buffer));
        end = buffer;
    }
};

// Little-endian, whatever the processor's order.
char* putU32(char* out, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte)
        *out++ = static_cast<char>(value >> (8 * byte) & 0xffu);
    return out;
}

char* putFloat(char* out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return putU32(out, bits);
}

char* putVec(char* out, const Vec3& v) {
    return putFloat(putFloat(putFloat(out, v.x), v.y), v.z);
}

// Decimal text that reads back as the same float, then `after`. Two of a vertex's coordinates are
// those of a grid edge, multiples of the voxel size and so of 1/16: their exact text, at most four
// decimals, comes from integer arithmetic; the shortest text of any other value costs some
// three times as much.
char* putDecimal(char* out, float value, char after) {
    const float sixteenths = value * kSixteenths;  // exact: a power of two
    if (sixteenths == std::trunc(sixteenths) && std::fabs(sixteenths) < kExactSixteenths) {
        auto whole = static_cast<std::int32_t>(sixteenths);
        if (whole < 0) {
            *out++ = '-';
            whole = -whole;
        }
        out = std::to_chars(out, out + kMaxFloatText, whole / kSixteenths).ptr;
        // 1/16 = 0.0625: the fraction in ten-thousandths is 625 times its sixteenths.
        std::uint32_t fraction = static_cast<std::uint32_t>(whole % kSixteenths) * 625;
        if (fraction != 0) {
            *out++ = '.';
            for (int digit = 0; digit < 4 && fraction != 0;
                 ++digit, fraction = fraction % 1000 * 10)
                *out++ = static_cast<char>('0' + fraction / 1000);
        }
    } else {
        out = putShortestFloat(out, value);
    }
    *out++ = after;
    return out;
}

// A component of a unit normal with kNormalDigits decimals, then `after`: enough for any reader's
// shading, and several times faster than the shortest exact text.
char* putUnit(char* out, float value, char after) {
    if (value < 0) *out++ = '-';
    const auto scaled = static_cast<std::uint32_t>(std::fabs(value) * kNormalScale + 0.5f);
    *out++ = static_cast<char>('0' + scaled / kNormalScale);
    *out++ = '.';
    std::uint32_t decimals = scaled % kNormalScale;
    for (int d = kNormalDigits - 1; d >= 0; --d, decimals /= 10)
        out[d] = static_cast<char>('0' + decimals % 10);
    out += kNormalDigits;
    *out++ = after;
    return out;
}

void writePly(Pieces& pieces, const SurfaceMesh& mesh) {
    pieces.end += std::snprintf(pieces.room(), kMaxRecord,
                                "ply\n"
                                "format binary_little_endian 1.0\n"
                                "comment isosurface of scalar-field-viewer, world units\n"
                                "element vertex %zu\n"
                                "property float x\nproperty float y\nproperty float z\n"
                                "property float nx\nproperty float ny\nproperty float nz\n"
                                "element face %zu\n"
                                "property list uchar uint vertex_indices\n"
                                "end_header\n",
                                mesh.vertexCount, mesh.triangleCount);
    for (std::size_t v = 0; v < mesh.vertexCount; ++v)
        pieces.end = putVec(putVec(pieces.room(), mesh.positions[v]), mesh.normals[v]);
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        char* out = pieces.room();
        *out++ = 3;
        for (int c = 0; c < 3; ++c)
            out = putU32(out, mesh.indices[3 * t + c]);
        pieces.end = out;
    }
}

void writeObj(Pieces& pieces, const SurfaceMesh& mesh) {
    pieces.end +=
        std::snprintf(pieces.room(), kMaxRecord,
                      "# isosurface of scalar-field-viewer: %zu vertices, %zu triangles\n",
                      mesh.vertexCount, mesh.triangleCount);
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const Vec3& p = mesh.positions[v];
        char* out = pieces.room();
        *out++ = 'v';
        *out++ = ' ';
        pieces.end = putDecimal(putDecimal(putDecimal(out, p.x, ' '), p.y, ' '), p.z, '\n');
    }
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const Vec3& n = mesh.normals[v];
        char* out = pieces.room();
        std::memcpy(out, "vn ", 3);
        pieces.end = putUnit(putUnit(putUnit(out + 3, n.x, ' '), n.y, ' '), n.z, '\n');
    }
    // OBJ counts from 1; each corner names its position and its normal, which share the number.
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        char* out = pieces.room();
        *out++ = 'f';
        for (int c = 0; c < 3; ++c) {
            *out++ = ' ';
            char* number = out;
            out = std::to_chars(out, out + kMaxFloatText, mesh.indices[3 * t + c] + 1).ptr;
            const std::size_t digits = static_cast<std::size_t>(out - number);
            *out++ = '/';
            *out++ = '/';
            std::memmove(out, number, digits);
            out += digits;
        }
        *out++ = '\n';
        pieces.end = out;
    }
}

// A header that does not begin with "solid", which would mark a text STL to some readers.
void writeStl(Pieces& pieces, const SurfaceMesh& mesh) {
    char* out = pieces.room();
    std::memset(out, ' ', kStlHeader);
    const char kTitle[] = "binary STL: isosurface of scalar-field-viewer, world units";
    std::memcpy(out, kTitle, sizeof kTitle - 1);
    pieces.end = putU32(out + kStlHeader, static_cast<std::uint32_t>(mesh.triangleCount));
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        Triangle triangle;
        for (int c = 0; c < 3; ++c)
            triangle.vertices[c] = mesh.positions[mesh.indices[3 * t + c]];
        Vec3 normal;
        triangleNormal(triangle, normal);
        const double length = std::sqrt(static_cast<double>(normal.x) * normal.x +
                                        static_cast<double>(normal.y) * normal.y +
                                        static_cast<double>(normal.z) * normal.z);
        out = putVec(pieces.room(),
                     {static_cast<float>(normal.x / length), static_cast<float>(normal.y / length),
                      static_cast<float>(normal.z / length)});
        for (const Vec3& corner : triangle.vertices)
            out = putVec(out, corner);
        *out++ = 0;  // the attribute, unused
        *out++ = 0;
        pieces.end = out;
    }
}

}  // namespace

bool meshFormatOf(const char* path, MeshFormat& format) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr || std::strchr(dot, '/') != nullptr) return false;
    const char* const names[] = {".ply", ".obj", ".stl"};
    const MeshFormat formats[] = {MeshFormat::kPly, MeshFormat::kObj, MeshFormat::kStl};
    for (int f = 0; f < 3; ++f) {
        std::size_t c = 0;
        while (dot[c] != '\0' && std::tolower(static_cast<unsigned char>(dot[c])) == names[f][c])
            ++c;
        if (dot[c] == '\0' && names[f][c] == '\0') {
            format = formats[f];
            return true;
        }
    }
    return false;
}

void encodeMesh(const SurfaceMesh& mesh, MeshFormat format, ByteSink sink, void* context) {
    static_assert(kMaxFloatText * 3 + 8 < kMaxRecord, "a vertex fits a record");
    Pieces pieces;
    pieces.sink = sink;
    pieces.context = context;
    pieces.end = pieces.buffer;
    switch (format) {
        case MeshFormat::kPly:
            writePly(pieces, mesh);
            break;
        case MeshFormat::kObj:
            writeObj(pieces, mesh);
            break;
        case MeshFormat::kStl:
            writeStl(pieces, mesh);
            break;
    }
    pieces.flush();
}
