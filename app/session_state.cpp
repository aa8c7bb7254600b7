#include "app/session_state.h"

#include "album/staged_file.h"
#include "base/file_io.h"
#include "base/line_escape.h"
#include "base/program_folder.h"
#include "settings/inifile.h"

#include <charconv>
#include <map>

namespace kelvora {
namespace {

constexpr char kFileName[] = "kelvora-state.ini";
// A state file is a few hundred bytes; anything far larger is not ours.
constexpr std::size_t kMaxFileSize = 64 * 1024;
constexpr int kMaxWindowSide = 32768;

std::optional<int> inRange(const std::map<std::string, std::string>& keys, const char* key, int low,
                           int high) {
    const auto it = keys.find(key);
    if (it == keys.end())
        return std::nullopt;
    const std::optional<int> value = ParseIniInteger(it->second);
    if (!value || *value < low || *value > high)
        return std::nullopt;
    return value;
}

// "a,b,c": two or three positive sizes, or nothing.
QList<int> sizesOf(const std::map<std::string, std::string>& keys, const char* key) {
    const auto it = keys.find(key);
    if (it == keys.end())
        return {};
    QList<int> sizes;
    std::string_view text = it->second;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        int value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error != std::errc() || end != part.data() + part.size() || value < 0 ||
            value > kMaxWindowSide)
            return {};
        sizes.append(value);
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    }
    return sizes.size() >= 2 && sizes.size() <= 3 ? sizes : QList<int>();
}

std::string joined(const QList<int>& sizes) {
    std::string text;
    for (int size : sizes) {
        if (!text.empty())
            text += ',';
        text += std::to_string(size);
    }
    return text;
}

} // namespace

std::string SessionStateFilePath() {
    return SettingsFolder() + "/" + kFileName;
}

std::string FormatSessionState(const TSessionState& state) {
    const TMainWindowState& m = state.main;
    std::string text = "[MainWindow]\r\n";
    const auto line = [&](const char* key, const std::string& value) {
        text.append(key).append("=").append(value).append("\r\n");
    };
    if (!m.folder.empty())
        line("Folder", EscapeLineBreaks(m.folder));
    if (m.viewStyle >= 0)
        line("ViewStyle", std::to_string(m.viewStyle));
    if (m.size.isValid()) {
        line("Width", std::to_string(m.size.width()));
        line("Height", std::to_string(m.size.height()));
    }
    const std::pair<const char*, const QList<int>*> splitters[] = {{"Splitter1", &m.browserSplit},
                                                                   {"Splitter2", &m.paneSplit},
                                                                   {"Splitter3", &m.previewSplit}};
    for (const auto& [key, sizes] : splitters)
        if (!sizes->isEmpty())
            line(key, joined(*sizes));
    if (const auto& p = state.page) {
        text += "[Page]\r\n";
        line("Title", EscapeLineBreaks(p->title));
        line("BackColor", std::to_string(p->backColor));
        line("Columns", std::to_string(p->columns));
        line("Frame", p->frame ? "1" : "0");
        line("FrameWidth", std::to_string(p->frameWidth));
        line("FrameColor", std::to_string(p->frameColor));
        line("Comments", p->comments ? "1" : "0");
        line("CommentsAbove", p->commentsAbove ? "1" : "0");
    }
    return text;
}

TSessionState ParseSessionState(std::string_view text) {
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::map<std::string, std::string>* current = nullptr;
    forEachLine(text, [&](std::string_view line) {
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &sections[std::string(line.substr(1, line.size() - 2))];
        } else if (const std::size_t eq = line.find('='); current && eq != std::string::npos) {
            // The first of duplicate keys wins, as in Option.ini.
            current->emplace(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
        }
        return true;
    });

    TSessionState state;
    const auto& main = sections["MainWindow"];
    if (const auto it = main.find("Folder");
        it != main.end() && !it->second.empty() && it->second.front() == '/')
        state.main.folder = UnescapeLineBreaks(it->second);
    state.main.viewStyle = inRange(main, "ViewStyle", 0, 3).value_or(-1);
    const auto width = inRange(main, "Width", 1, kMaxWindowSide);
    const auto height = inRange(main, "Height", 1, kMaxWindowSide);
    if (width && height)
        state.main.size = QSize(*width, *height);
    state.main.browserSplit = sizesOf(main, "Splitter1");
    state.main.paneSplit = sizesOf(main, "Splitter2");
    state.main.previewSplit = sizesOf(main, "Splitter3");

    if (const auto found = sections.find("Page"); found != sections.end()) {
        const auto& page = found->second;
        TAlbumPageOptions p;
        if (const auto it = page.find("Title"); it != page.end())
            p.title = UnescapeLineBreaks(it->second);
        p.backColor = static_cast<TColor>(
            inRange(page, "BackColor", 0, 0xFFFFFF).value_or(static_cast<int>(p.backColor)));
        p.columns = inRange(page, "Columns", 1, 10).value_or(p.columns);
        p.frame = inRange(page, "Frame", 0, 1).value_or(p.frame) != 0;
        p.frameWidth = inRange(page, "FrameWidth", 1, 9).value_or(p.frameWidth);
        p.frameColor = static_cast<TColor>(
            inRange(page, "FrameColor", 0, 0xFFFFFF).value_or(static_cast<int>(p.frameColor)));
        p.comments = inRange(page, "Comments", 0, 1).value_or(p.comments) != 0;
        p.commentsAbove = inRange(page, "CommentsAbove", 0, 1).value_or(p.commentsAbove) != 0;
        state.page = p;
    }
    return state;
}

TSessionState LoadSessionState(const std::string& fileName) {
    const std::optional<std::string> text = readSmallFile(fileName, kMaxFileSize);
    return text ? ParseSessionState(*text) : TSessionState();
}

void SaveSessionState(const std::string& fileName, const TSessionState& state) {
    TStagedFile file(fileName);
    file.write(FormatSessionState(state));
    file.flushToDisk();
    file.commit();
}

} // namespace kelvora
