// Judges varnokctl's --json output by docs/varnokctl.schema.json with a real
// JSON Schema validator (Debian's python3-jsonschema, through
// tests/validate_json.py). Native builds only: elsewhere the check is
// skipped.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#ifdef VARNOK_SOURCE_DIR
#include <unistd.h>  // getpid
#endif

namespace varnok::test {

// Outputs by the schema's $defs name they must match ("writeResult",
// "portList", ...).
using JsonOutputs = std::vector<std::pair<std::string, std::string>>;

// The validator's complaints (file, path in the document, message); empty
// when every output matches. Skips the calling test where no validator runs.
inline std::string SchemaProblems(const JsonOutputs& outputs) {
#ifdef VARNOK_SOURCE_DIR
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // One folder per test and process: test runs side by side must not
    // clear each other's files.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("varnokctl_schema_" + std::string(test->name()) + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        std::ofstream(dir / (outputs[i].first + "." + std::to_string(i) + ".json"),
                      std::ios::binary)
            << outputs[i].second;
    const std::string command = "python3 '" VARNOK_SOURCE_DIR "/tests/validate_json.py' --dir '" +
                                dir.string() + "' 2>&1";
    std::string said;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "the validator could not be started";
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) said += buffer;
    const int status = pclose(pipe);
    if (status == 0) std::filesystem::remove_all(dir);
    else if (said.empty()) said = "the validator ended with status " + std::to_string(status);
    return status == 0 ? std::string() : said;
#else
    (void)outputs;
    return "";
#endif
}

}  // namespace varnok::test
