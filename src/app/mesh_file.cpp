#include "app/mesh_file.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "field/polygoniser.h"

namespace {

constexpr std::size_t kStlHeader = 80;     // bytes, free text
constexpr std::size_t kStlTriangle = 50;   // normal, three corners, a 16-bit attribute
constexpr std::size_t kPlyVertex = 24;     // position and normal, six floats
constexpr std::size_t kPlyTriangle = 13;   // a count byte and three 32-bit indices
constexpr std::size_t kMaxFloatText = 16;  // the shortest text that reads back the same float
constexpr std::size_t kMaxIndexText = 10;  // a 32-bit index

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

char* putText(char* out, const char* text) {
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

// The shortest decimal text that reads back as the same float, then `after`.
char* putDecimal(char* out, float value, char after) {
    out = std::to_chars(out, out + kMaxFloatText, value).ptr;
    *out++ = after;
    return out;
}

char* putIndex(char* out, std::uint32_t value) {
    return std::to_chars(out, out + kMaxIndexText, value).ptr;
}

char* plyHeader(char* out, const SurfaceMesh& mesh) {
    return out + std::sprintf(out,
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
}

constexpr std::size_t kMaxPlyHeader = 512;  // bytes, with both counts at their widest

char* writePly(char* out, const SurfaceMesh& mesh) {
    out = plyHeader(out, mesh);
    for (std::size_t v = 0; v < mesh.vertexCount; ++v)
        out = putVec(putVec(out, mesh.positions[v]), mesh.normals[v]);
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        *out++ = 3;
        for (int c = 0; c < 3; ++c)
            out = putU32(out, mesh.indices[3 * t + c]);
    }
    return out;
}

char* writeObj(char* out, const SurfaceMesh& mesh) {
    out += std::sprintf(out, "# isosurface of scalar-field-viewer: %zu vertices, %zu triangles\n",
                        mesh.vertexCount, mesh.triangleCount);
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const Vec3& p = mesh.positions[v];
        out = putDecimal(putDecimal(putDecimal(putText(out, "v "), p.x, ' '), p.y, ' '), p.z, '\n');
    }
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const Vec3& n = mesh.normals[v];
        out =
            putDecimal(putDecimal(putDecimal(putText(out, "vn "), n.x, ' '), n.y, ' '), n.z, '\n');
    }
    // OBJ counts from 1; each corner names its position and its normal, which share the number.
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        *out++ = 'f';
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t number = mesh.indices[3 * t + c] + 1;
            *out++ = ' ';
            out = putIndex(putText(putIndex(out, number), "//"), number);
        }
        *out++ = '\n';
    }
    return out;
}

// A header that does not begin with "solid", which would mark a text STL to some readers.
char* writeStl(char* out, const SurfaceMesh& mesh) {
    std::memset(out, ' ', kStlHeader);
    std::memcpy(out, "binary STL: isosurface of scalar-field-viewer, world units", 58);
    out = putU32(out + kStlHeader, static_cast<std::uint32_t>(mesh.triangleCount));
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        Triangle triangle;
        for (int c = 0; c < 3; ++c)
            triangle.vertices[c] = mesh.positions[mesh.indices[3 * t + c]];
        Vec3 normal;
        triangleNormal(triangle, normal);
        const double length = std::sqrt(static_cast<double>(normal.x) * normal.x +
                                        static_cast<double>(normal.y) * normal.y +
                                        static_cast<double>(normal.z) * normal.z);
        out = putVec(out,
                     {static_cast<float>(normal.x / length), static_cast<float>(normal.y / length),
                      static_cast<float>(normal.z / length)});
        for (const Vec3& corner : triangle.vertices)
            out = putVec(out, corner);
        *out++ = 0;  // the attribute, unused
        *out++ = 0;
    }
    return out;
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

char* encodeMesh(const SurfaceMesh& mesh, MeshFormat format, std::size_t& size) {
    const std::size_t vertices = mesh.vertexCount;
    const std::size_t triangles = mesh.triangleCount;
    std::size_t most = 0;
    switch (format) {
        case MeshFormat::kPly:
            most = kMaxPlyHeader + vertices * kPlyVertex + triangles * kPlyTriangle;
            break;
        case MeshFormat::kObj:
            most = kMaxPlyHeader + vertices * 2 * (3 + 3 * (kMaxFloatText + 1)) +
                   triangles * (2 + 3 * (2 * kMaxIndexText + 3));
            break;
        case MeshFormat::kStl:
            most = kStlHeader + 4 + triangles * kStlTriangle;
            break;
    }
    char* bytes = static_cast<char*>(std::malloc(most));
    if (bytes == nullptr) return nullptr;
    char* end = bytes;
    switch (format) {
        case MeshFormat::kPly:
            end = writePly(bytes, mesh);
            break;
        case MeshFormat::kObj:
            end = writeObj(bytes, mesh);
            break;
        case MeshFormat::kStl:
            end = writeStl(bytes, mesh);
            break;
    }
    size = static_cast<std::size_t>(end - bytes);
    return bytes;
}
