#include "drawing_files.hpp"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace stemloop_tools {
namespace {

constexpr size_t kMaxName = 100;

bool kept(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-';
}

}  // namespace

std::string safe_file_name(const std::string& name) {
  std::string safe;
  for (char c : name) {
    if (kept(c)) {
      if (!(safe.empty() && (c == '.' || c == '-'))) safe += c;
    } else if (!safe.empty() && safe.back() != '_') {
      safe += '_';
    }
    if (safe.size() >= kMaxName) break;
  }
  while (!safe.empty() && safe.back() == '_') safe.pop_back();
  return safe.empty() ? "record" : safe;
}

std::string DrawingFiles::prepare(const std::string& dir) {
  struct stat info {};
  if (stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? "" : std::strerror(ENOTDIR);
  if (mkdir(dir.c_str(), 0777) != 0) return std::strerror(errno);
  return {};
}

std::string DrawingFiles::write(const std::string& name, const std::string& svg) {
  const std::string base = safe_file_name(name);
  std::string unique = base;
  for (int k = 2; used_.count(unique) != 0; k++) unique = base + "_" + std::to_string(k);
  used_.insert(unique);
  const std::string extension = extension_of(format_);
  const std::string path = dir_ + "/" + unique + "." + extension;
  const std::string temporary = dir_ + "/." + unique + "." + extension + ".part";
  std::string bytes;
  if (!render_svg(svg, format_, bytes)) return "cannot write '" + path + "': " + bytes;
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return "cannot write '" + path + "': " + std::strerror(errno);
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!wrote || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    return "cannot write '" + path + "': " + why;
  }
  return {};
}

}  // namespace stemloop_tools
