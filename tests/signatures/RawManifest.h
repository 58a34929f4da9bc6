#pragma once
// The camera raw samples of tests/fixtures/raw as their manifest describes them.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace norix::test {

inline const std::filesystem::path kRawSamples = std::filesystem::path(NORIX_SOURCE_DIR) / "tests/fixtures/raw";

struct RawSample {
    std::string file, extension;
    uint64_t end = 0, slack = 0, previewOffset = 0, previewLength = 0;  // structure end, preview run
    bool named = true;                                                  // identification names it
};
inline void PrintTo(const RawSample& sample, std::ostream* out) { *out << sample.file; }

inline std::vector<RawSample> rawManifest() {
    std::vector<RawSample> samples;
    std::ifstream in(kRawSamples / "manifest");
    for (std::string line; std::getline(in, line);) {
        RawSample s;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream(line) >> s.file >> s.extension >> s.end >> s.slack >> s.previewOffset >> s.previewLength >>
            s.named;
        samples.push_back(s);
    }
    return samples;
}

}  // namespace norix::test
