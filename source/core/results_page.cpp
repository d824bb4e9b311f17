#include "core/results_page.h"

#include "core/windows1252.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

namespace veltrin {

namespace {

void AppendAttributeEscaped(std::string& out, std::string_view text) {
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i]) {
        case '&': entity = "&amp;"; break;
        case '"': entity = "&quot;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        default: continue;
        }
        out.append(text, runStart, i - runStart);
        out.append(entity);
        runStart = i + 1;
    }
    out.append(text, runStart);
}

FileError Failure(const std::filesystem::path& path, std::error_code code) {
    return FileError{path.string(), code.message(), code};
}

std::error_code Errno(int error) { return {error, std::generic_category()}; }

std::string RandomSuffix() {
    static constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    std::string suffix(8, '\0');
    for (char& c : suffix) {
        c = kAlphabet[pick(device)];
    }
    return suffix;
}

} // namespace

std::string AdvertisementBlock(std::string_view advertisementPageUrl) {
    std::string block = "<iframe src='";
    block += advertisementPageUrl;
    block += "' frameBorder='0' height='90' width='500'></iframe><br>";
    return block;
}

std::string ComposeResultsPage(const std::vector<LinkMatch>& matches, std::string_view advertisementBlock) {
    static constexpr std::string_view kAfterEntry = "\"><img src=\"dl.jpg\" border=\"0\" /></a><br>";
    std::size_t size = kResultsHeading.size() + advertisementBlock.size();
    for (const LinkMatch& match : matches) {
        size += match.quality->leadIn.size() + 1 + match.entry.size() + kAfterEntry.size();
    }
    std::string page;
    page.reserve(size);
    page += kResultsHeading;
    int rows = 0;
    for (const LinkMatch& match : matches) {
        page += match.quality->leadIn;
        page += '"';
        AppendAttributeEscaped(page, match.entry);
        page += kAfterEntry;
        if (++rows == 2) {
            page += advertisementBlock;
        }
    }
    return page;
}

std::filesystem::path ResultsFilePath(const std::filesystem::path& programFolder) {
    std::filesystem::path::string_type text = programFolder.native();
    text += std::filesystem::path::preferred_separator;
    text += std::filesystem::path(kResultsFileName).native();
    return std::filesystem::path(std::move(text));
}

std::optional<FileError> WriteResultsFile(const std::filesystem::path& path, std::string_view page) {
    const std::string bytes = Utf8ToWindows1252(page);
    static constexpr std::string_view kEnd = "\r\n";

    std::string temporaryName = ".";
    temporaryName.append(path.filename().string()).append(".").append(RandomSuffix()).append(".tmp");
    const std::filesystem::path temporary = path.parent_path() / temporaryName;
    // "x": never opens something that is already there, a planted link included.
    std::FILE* file = std::fopen(temporary.c_str(), "wbx");
    if (file == nullptr) {
        return Failure(path, Errno(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                         std::fwrite(kEnd.data(), 1, kEnd.size(), file) == kEnd.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    if (!written || !closed) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return Failure(path, Errno(!written ? writeError : closeError));
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, path, renamed);
    if (renamed) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return Failure(path, renamed);
    }
    return std::nullopt;
}

} // namespace veltrin
