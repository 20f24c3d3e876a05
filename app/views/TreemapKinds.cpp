#include "app/views/TreemapKinds.h"

#include "engine/DVOSUB.h"
#include <algorithm>
#include <string>

namespace dvo::app {
namespace {

struct Extension {
    std::string_view text;
    FileGroup group;
};

// Sorted by text for the binary search below.
constexpr Extension kExtensions[] = {
    {"3gp", FileGroup::Video},     {"7z", FileGroup::Archive},    {"a", FileGroup::Binary},
    {"aac", FileGroup::Audio},     {"aiff", FileGroup::Audio},    {"apk", FileGroup::Archive},
    {"avi", FileGroup::Video},     {"avif", FileGroup::Image},    {"bash", FileGroup::Code},
    {"bin", FileGroup::Binary},    {"bmp", FileGroup::Image},     {"bz2", FileGroup::Archive},
    {"c", FileGroup::Code},        {"cab", FileGroup::Archive},   {"cc", FileGroup::Code},
    {"class", FileGroup::Binary},  {"cmake", FileGroup::Code},    {"cpp", FileGroup::Code},
    {"cr2", FileGroup::Image},     {"cs", FileGroup::Code},       {"css", FileGroup::Code},
    {"csv", FileGroup::Document},  {"cxx", FileGroup::Code},      {"deb", FileGroup::Archive},
    {"dll", FileGroup::Binary},    {"dmg", FileGroup::Archive},   {"doc", FileGroup::Document},
    {"docx", FileGroup::Document}, {"dylib", FileGroup::Binary},  {"elf", FileGroup::Binary},
    {"epub", FileGroup::Document}, {"exe", FileGroup::Binary},    {"flac", FileGroup::Audio},
    {"flv", FileGroup::Video},     {"gif", FileGroup::Image},     {"go", FileGroup::Code},
    {"gz", FileGroup::Archive},    {"h", FileGroup::Code},        {"heic", FileGroup::Image},
    {"hh", FileGroup::Code},       {"hpp", FileGroup::Code},      {"htm", FileGroup::Document},
    {"html", FileGroup::Document}, {"ico", FileGroup::Image},     {"inc", FileGroup::Code},
    {"iso", FileGroup::Archive},   {"jar", FileGroup::Archive},   {"java", FileGroup::Code},
    {"jpeg", FileGroup::Image},    {"jpg", FileGroup::Image},     {"js", FileGroup::Code},
    {"json", FileGroup::Code},     {"ko", FileGroup::Binary},     {"kt", FileGroup::Code},
    {"lib", FileGroup::Binary},    {"lua", FileGroup::Code},      {"lz", FileGroup::Archive},
    {"lzma", FileGroup::Archive},  {"m4a", FileGroup::Audio},     {"m4v", FileGroup::Video},
    {"md", FileGroup::Document},   {"mid", FileGroup::Audio},     {"midi", FileGroup::Audio},
    {"mkv", FileGroup::Video},     {"mov", FileGroup::Video},     {"mp3", FileGroup::Audio},
    {"mp4", FileGroup::Video},     {"mpeg", FileGroup::Video},    {"mpg", FileGroup::Video},
    {"nef", FileGroup::Image},     {"o", FileGroup::Binary},      {"obj", FileGroup::Binary},
    {"odp", FileGroup::Document},  {"ods", FileGroup::Document},  {"odt", FileGroup::Document},
    {"oga", FileGroup::Audio},     {"ogg", FileGroup::Audio},     {"ogv", FileGroup::Video},
    {"opus", FileGroup::Audio},    {"pas", FileGroup::Code},      {"pdf", FileGroup::Document},
    {"php", FileGroup::Code},      {"pl", FileGroup::Code},       {"png", FileGroup::Image},
    {"pp", FileGroup::Code},       {"ppt", FileGroup::Document},  {"pptx", FileGroup::Document},
    {"psd", FileGroup::Image},     {"py", FileGroup::Code},       {"pyc", FileGroup::Binary},
    {"rar", FileGroup::Archive},   {"rb", FileGroup::Code},       {"rpm", FileGroup::Archive},
    {"rs", FileGroup::Code},       {"rtf", FileGroup::Document},  {"scala", FileGroup::Code},
    {"sh", FileGroup::Code},       {"so", FileGroup::Binary},     {"sql", FileGroup::Code},
    {"svg", FileGroup::Image},     {"swift", FileGroup::Code},    {"tar", FileGroup::Archive},
    {"tex", FileGroup::Document},  {"tgz", FileGroup::Archive},   {"tif", FileGroup::Image},
    {"tiff", FileGroup::Image},    {"toml", FileGroup::Code},     {"ts", FileGroup::Code},
    {"txt", FileGroup::Document},  {"vob", FileGroup::Video},     {"wasm", FileGroup::Binary},
    {"wav", FileGroup::Audio},     {"webm", FileGroup::Video},    {"webp", FileGroup::Image},
    {"wma", FileGroup::Audio},     {"wmv", FileGroup::Video},     {"xcf", FileGroup::Image},
    {"xls", FileGroup::Document},  {"xlsx", FileGroup::Document}, {"xml", FileGroup::Code},
    {"xz", FileGroup::Archive},    {"yaml", FileGroup::Code},     {"yml", FileGroup::Code},
    {"zip", FileGroup::Archive},   {"zst", FileGroup::Archive},
};

constexpr bool Sorted() {
    for (std::size_t i = 1; i < std::size(kExtensions); ++i)
        if (!(kExtensions[i - 1].text < kExtensions[i].text))
            return false;
    return true;
}
static_assert(Sorted(), "the extension table must stay sorted");

constexpr std::size_t kLongestExtension = 8;

// The extension after the last dot, lower-cased ASCII; empty when there is none or it holds
// anything but ASCII letters and digits.
std::string ExtensionOf(std::u16string_view name) {
    const auto dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0 || name.size() - dot - 1 > kLongestExtension)
        return {};
    std::string ext;
    for (char16_t c : name.substr(dot + 1)) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')))
            return {};
        ext.push_back(static_cast<char>(c));
    }
    return ext;
}

} // namespace

FileGroup FileGroupOf(std::u16string_view name, int kind) {
    if (kind == DVO_KIND_FOLDER)
        return FileGroup::Folder;
    std::string ext = ExtensionOf(name);
    // Versioned shared libraries: libfoo.so.1.2.3
    if (name.find(u".so.") != std::u16string_view::npos &&
        (ext.empty() ||
         std::all_of(ext.begin(), ext.end(), [](char c) { return c >= '0' && c <= '9'; })))
        return FileGroup::Binary;
    if (ext.empty())
        return FileGroup::Other;
    const auto* end = std::end(kExtensions);
    const auto* it =
        std::lower_bound(std::begin(kExtensions), end, ext,
                         [](const Extension& e, const std::string& x) { return e.text < x; });
    return it != end && it->text == ext ? it->group : FileGroup::Other;
}

} // namespace dvo::app
