// Checks the resources of a built program, read from the program file:
//
//   resource_check EXE manifest    the application manifest: well-formed for
//                                  the system's own loader, runs as the
//                                  invoker, names Vista to 11, and asks for no
//                                  themed common controls
//   resource_check EXE icons ID... every image of each icon group: where the
//                                  mask makes a pixel transparent its colour
//                                  is black (else the screen shows through
//                                  changed), and the picture has such pixels
//   resource_check EXE version     prints the version record, "name|value"
//
// Problems go to standard error; the status is 1 when there was one.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_problems = 0;

void Problem(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  ++g_problems;
}

std::string Resource(HMODULE module, LPCSTR type, int id) {
  const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) return {};
  const void *data = LockResource(LoadResource(module, found));
  return std::string(static_cast<const char *>(data), SizeofResource(module, found));
}

void CheckManifest(const char *exe, HMODULE module) {
  const std::string text = Resource(module, MAKEINTRESOURCEA(24), 1); // RT_MANIFEST, the process manifest
  if (text.empty()) return Problem("no application manifest");
  ACTCTXA context{};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = exe;
  context.lpResourceName = MAKEINTRESOURCEA(1);
  const HANDLE made = CreateActCtxA(&context);
  if (made == INVALID_HANDLE_VALUE) Problem("the system refuses the manifest (error %lu)", GetLastError());
  else ReleaseActCtx(made);
  const char *const wanted[] = {
      "level=\"asInvoker\"",
      "uiAccess=\"false\"",
      "{e2011457-1546-43c5-a5fe-008deee3d3f0}", // Vista
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
  };
  for (const char *w : wanted) {
    if (text.find(w) == std::string::npos) Problem("the manifest lacks %s", w);
  }
  if (text.find("Common-Controls") != std::string::npos) Problem("the manifest asks for the themed common controls");
}

#pragma pack(push, 2)
struct GroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

void CheckIconImage(int group, const std::string &image) {
  BITMAPINFOHEADER h{};
  if (image.size() < sizeof h) return Problem("group %d: an image is too short", group);
  std::memcpy(&h, image.data(), sizeof h);
  const size_t width = static_cast<size_t>(h.biWidth), height = static_cast<size_t>(h.biHeight / 2); // colour and mask
  const size_t bits = h.biBitCount;
  const size_t colours = bits <= 8 ? (h.biClrUsed != 0 ? h.biClrUsed : size_t{1} << bits) : 0;
  const size_t palette = h.biSize, pixels = palette + 4 * colours;
  const size_t colourStride = (width * bits + 31) / 32 * 4, maskStride = (width + 31) / 32 * 4;
  const size_t mask = pixels + colourStride * height;
  if (mask + maskStride * height > image.size()) return Problem("group %d: an image is cut", group);
  const auto *bytes = reinterpret_cast<const unsigned char *>(image.data());
  long transparent = 0, wrong = 0;
  for (size_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < width; ++x) {
      if (!(bytes[mask + y * maskStride + x / 8] & (0x80u >> (x % 8)))) continue;
      ++transparent;
      const unsigned char *row = bytes + pixels + y * colourStride;
      const unsigned char *q = row + x * bits / 8; // 16 bits and more: the colour itself
      if (bits <= 8) {
        const size_t bit = x * bits;
        const size_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((size_t{1} << bits) - 1);
        q = bytes + palette + 4 * index;
      }
      if (q[0] != 0 || q[1] != 0 || q[2] != 0) ++wrong;
    }
  }
  std::printf("icon %d %zux%zu %zu bits: %ld transparent pixels, %ld of them not black\n", group, width, height, bits,
              transparent, wrong);
  if (transparent == 0) Problem("group %d: no transparent pixel in a %zux%zu image", group, width, height);
  if (wrong != 0) Problem("group %d: %ld transparent pixels are not black and tint what lies behind", group, wrong);
}

void CheckIcons(HMODULE module, int count, char **ids) {
  for (int i = 0; i < count; ++i) {
    const int group = std::atoi(ids[i]);
    const std::string dir = Resource(module, MAKEINTRESOURCEA(14), group); // RT_GROUP_ICON
    if (dir.size() < 6) {
      Problem("no icon group %d", group);
      continue;
    }
    WORD images = 0;
    std::memcpy(&images, dir.data() + 4, 2);
    for (WORD k = 0; k < images && 6 + (k + 1u) * sizeof(GroupEntry) <= dir.size(); ++k) {
      GroupEntry entry{};
      std::memcpy(&entry, dir.data() + 6 + k * sizeof(GroupEntry), sizeof entry);
      CheckIconImage(group, Resource(module, MAKEINTRESOURCEA(3), entry.id)); // RT_ICON
    }
    if (images == 0) Problem("icon group %d is empty", group);
  }
}

void PrintVersion(const char *exe) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
  if (size == 0) return Problem("no version record");
  std::string data(size, '\0');
  if (!GetFileVersionInfoA(exe, 0, size, data.data())) return Problem("the version record cannot be read");
  void *value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto *f = static_cast<const VS_FIXEDFILEINFO *>(value);
    std::printf("fixed|%lu.%lu.%lu.%lu|%lu.%lu.%lu.%lu\n", f->dwFileVersionMS >> 16, f->dwFileVersionMS & 0xffff,
                f->dwFileVersionLS >> 16, f->dwFileVersionLS & 0xffff, f->dwProductVersionMS >> 16,
                f->dwProductVersionMS & 0xffff, f->dwProductVersionLS >> 16, f->dwProductVersionLS & 0xffff);
  }
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4) {
    return Problem("the version record names no language");
  }
  const WORD *translation = static_cast<const WORD *>(value);
  std::printf("translation|%04x|%u\n", translation[0], translation[1]);
  const char *const names[] = {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                               "OriginalFilename", "ProductName", "ProductVersion"};
  for (const char *name : names) {
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
    const bool found = VerQueryValueA(data.data(), path, &value, &length) && length > 0;
    std::printf("%s|%s\n", name, found ? static_cast<const char *>(value) : "");
  }
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: resource_check EXE manifest|icons ID...|version\n");
    return 64;
  }
  const char *exe = argv[1];
  const std::string action = argv[2];
  const HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    std::fprintf(stderr, "resource_check: cannot read %s\n", exe);
    return 2;
  }
  if (action == "manifest") CheckManifest(exe, module);
  else if (action == "icons") CheckIcons(module, argc - 3, argv + 3);
  else if (action == "version") PrintVersion(exe);
  else {
    std::fprintf(stderr, "resource_check: bad action %s\n", action.c_str());
    return 64;
  }
  FreeLibrary(module);
  std::fflush(stdout);
  return g_problems == 0 ? 0 : 1;
}
