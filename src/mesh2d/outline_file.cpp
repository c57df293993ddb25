#include "mesh2d/outline_file.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/fatal.h"
#include "core/section.h"

namespace {

// Little-endian cursor over the file bytes; every read checks the length.
struct ByteReader {
  const std::string& path;
  const std::vector<unsigned char>& bytes;
  std::size_t pos = 0;

  [[noreturn]] void Truncated(const std::string& what) const {
    Fatal(path + ": outline file ends at byte " + std::to_string(bytes.size()) + " while reading " + what);
  }
  int16_t I16(const std::string& what) {
    if (pos + 2 > bytes.size()) Truncated(what);
    const uint16_t v = static_cast<uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
    pos += 2;
    return static_cast<int16_t>(v);
  }
  float F32(const std::string& what) {
    if (pos + 4 > bytes.size()) Truncated(what);
    const uint32_t u = static_cast<uint32_t>(bytes[pos]) | (static_cast<uint32_t>(bytes[pos + 1]) << 8) |
                       (static_cast<uint32_t>(bytes[pos + 2]) << 16) | (static_cast<uint32_t>(bytes[pos + 3]) << 24);
    pos += 4;
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
  }
};

void PutI16(std::string& out, int v) {
  const uint16_t u = static_cast<uint16_t>(static_cast<int16_t>(v));
  out.push_back(static_cast<char>(u & 0xff));
  out.push_back(static_cast<char>(u >> 8));
}

void PutF32(std::string& out, float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((u >> (8 * k)) & 0xff));
}

}  // namespace

void AssignOutlineSlots(OutlineFileData& data) {
  data.slot.fill(0);
  bool has3 = false;
  data.has4 = false;
  // Two passes: a '4' outline stored before the '3' outline reaches slot 5
  // in the second pass, once the '3' outline is known.
  for (int pass = 1; pass <= 2; ++pass) {
    for (std::size_t k = 0; k < data.outlines.size(); ++k) {
      const std::string& nm = data.outlines[k].name;
      const int index = static_cast<int>(k) + 1;
      if (nm == "WPIECE") {
        data.slot[0] = index;
        continue;
      }
      if (nm.size() < 5) continue;
      switch (nm[4]) {
        case '1': data.slot[1] = index; break;
        case '2': data.slot[2] = index; break;
        case '3':
          data.slot[3] = index;
          has3 = true;
          break;
        case '4':
          if (has3) {
            data.slot[4] = index;
            data.has4 = true;
          } else {
            data.slot[3] = index;
          }
          break;
        default: break;
      }
    }
  }
  data.SplitMode = has3 ? 2 : 1;
}

void ReadOutlineFile(const std::string& path, OutlineFileData& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fatal(path + ": cannot open the outline file: " + std::strerror(errno));
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ByteReader r{path, bytes};

  const int count = r.I16("the outline count");
  data = OutlineFileData{};
  data.nOutlines = std::abs(count);
  if (count == 0) Fatal(path + ": the outline file holds no outline (count 0)");
  // The list grows outline by outline as the bytes are there, so the count
  // alone never sizes anything.
  for (int k = 1; k <= data.nOutlines; ++k) {
    RawOutline& o = data.outlines.emplace_back();
    const std::string tag = " of outline " + std::to_string(k);
    o.nSeg = r.I16("the segment count" + tag);
    const int n = r.I16("the point count" + tag);
    if (n <= 0 || n % 2 != 0 || n > kMaxOutlinePoints)
      Fatal(path + ": outline " + std::to_string(k) + " has " + std::to_string(n) +
            " points; expected an even count from 2 to " + std::to_string(kMaxOutlinePoints));
    if (o.nSeg != n / 2)
      Fatal(path + ": outline " + std::to_string(k) + " has " + std::to_string(n) + " points but " +
            std::to_string(o.nSeg) + " segments; expected " + std::to_string(n / 2));
    o.x.resize(static_cast<std::size_t>(n));
    o.y.resize(static_cast<std::size_t>(n));
    for (float& v : o.x) v = r.F32("the x coordinates" + tag);
    for (float& v : o.y) v = r.F32("the y coordinates" + tag);
    for (int i = 0; i < n; ++i)
      if (!std::isfinite(o.x[static_cast<std::size_t>(i)]) || !std::isfinite(o.y[static_cast<std::size_t>(i)]))
        Fatal(path + ": point " + std::to_string(i + 1) + tag + " has a non-finite coordinate");
  }
  if (count < 0) {
    for (int k = 1; k <= data.nOutlines; ++k) {
      if (r.pos + 6 > bytes.size()) r.Truncated("the name of outline " + std::to_string(k));
      data.outlines[static_cast<std::size_t>(k - 1)].name.assign(reinterpret_cast<const char*>(&bytes[r.pos]), 6);
      r.pos += 6;
    }
  }
  AssignOutlineSlots(data);
}

bool WriteOutlineFile(const std::string& path, const std::vector<RawOutline>& outlines) {
  std::string out;
  PutI16(out, -static_cast<int>(outlines.size()));
  for (const RawOutline& o : outlines) {
    PutI16(out, o.nSeg);
    PutI16(out, static_cast<int>(o.x.size()));
    for (float v : o.x) PutF32(out, v);
    for (float v : o.y) PutF32(out, v);
  }
  for (const RawOutline& o : outlines) {
    std::string nm = o.name.substr(0, 6);
    nm.resize(6, ' ');
    out += nm;
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}
