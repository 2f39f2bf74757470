#include "cli/OutputFiles.h"

#include "firmware/Utf8Path.h"
#include "report/SameFile.h"

#include <filesystem>
#include <vector>

namespace tarvane {
namespace {

struct OutputFile {
    const char* option;
    std::string path;
};

// A folder has no name to number: every board's file would be "FOLDER/-N".
bool namesFolder(const std::string& path) {
    const std::filesystem::path given = pathFromUtf8(path);
    std::error_code ec;
    return !given.has_filename() || std::filesystem::is_directory(given, ec);
}

} // namespace

std::string numberedFileFor(const std::string& path, std::size_t index, bool numbered) {
    if (!numbered) return path;
    const std::filesystem::path given = pathFromUtf8(path);
    std::filesystem::path name = given.stem();
    // Appended in two steps: GCC 12 at -O3 takes "-" + std::string for an
    // overlapping copy (-Wrestrict), which stops the package's build.
    name += "-";
    name += std::to_string(index + 1);
    name += given.extension();
    return utf8FromPath(given.parent_path() / name);
}

std::string outputFilesClash(const std::string& hexFile, const std::string& trace, const std::string& report,
                             std::size_t boards, bool numbered) {
    for (const OutputFile& given : {OutputFile{"--trace", trace}, OutputFile{"--report", report}}) {
        if (numbered && !given.path.empty() && namesFolder(given.path)) {
            return std::string(given.option) + " names a folder, where several boards need numbered files: " +
                   given.path;
        }
    }
    std::vector<OutputFile> outputs;
    for (std::size_t i = 0; !trace.empty() && i < boards; ++i) {
        outputs.push_back({"--trace", numberedFileFor(trace, i, numbered)});
    }
    for (std::size_t i = 0; !report.empty() && i < boards; ++i) {
        outputs.push_back({"--report", numberedFileFor(report, i, numbered)});
    }
    // Creating an output empties it: the firmware would be gone before it is sent.
    for (const OutputFile& output : outputs) {
        if (sameFile(output.path, hexFile)) return std::string(output.option) + " names the HEX file: " + output.path;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            if (!sameFile(outputs[i].path, outputs[j].path)) continue;
            if (outputs[i].option == outputs[j].option) {
                return std::string(outputs[i].option) + " names one file for two boards: " + outputs[i].path + " and " +
                       outputs[j].path;
            }
            return "--trace and --report name the same file: " + outputs[i].path;
        }
    }
    return {};
}

} // namespace tarvane
