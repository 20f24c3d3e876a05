#pragma once
// The kinds of file a treemap tells apart by colour, from a name's extension: the groups, their
// colours and their names for the legend.
#include <array>
#include <cstdint>
#include <string_view>

namespace dvo::app {

enum class FileGroup : std::uint8_t {
    Image,
    Video,
    Audio,
    Archive,
    Document,
    Code,
    Binary, // programs and libraries
    Other,
    Folder, // a folder with nothing drawn inside: empty, or only entries under a pixel
};

struct FileGroupInfo {
    FileGroup group;
    const char* name;  // the legend's text
    std::uint32_t rgb; // 0xRRGGBB
};

inline constexpr std::array<FileGroupInfo, 9> kFileGroups{{
    {FileGroup::Image, "画像", 0x4caf50},
    {FileGroup::Video, "動画", 0xe53935},
    {FileGroup::Audio, "音声", 0xffa000},
    {FileGroup::Archive, "圧縮ファイル", 0x8e24aa},
    {FileGroup::Document, "文書", 0x1e88e5},
    {FileGroup::Code, "ソースコード", 0x00acc1},
    {FileGroup::Binary, "実行ファイル・ライブラリ", 0x8d6e63},
    {FileGroup::Other, "その他", 0x9e9e9e},
    {FileGroup::Folder, "フォルダ", 0xd8cfa8},
}};

[[nodiscard]] constexpr std::uint32_t FileGroupColour(FileGroup group) {
    return kFileGroups[static_cast<std::size_t>(group)].rgb;
}

// The group of an entry by its name (UTF-16, as the engine keeps it); kind 0 is a folder.
// Extensions compare without regard to ASCII case; "libx.so.1" counts as a library.
[[nodiscard]] FileGroup FileGroupOf(std::u16string_view name, int kind);

} // namespace dvo::app
