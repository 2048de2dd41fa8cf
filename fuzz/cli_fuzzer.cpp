// The command line's inputs: raw-photo files and their names for decode and
// render, directory files for pat, camera-image folders for list and
// download, each with arguments from the input. The program must end with
// status 0, 1 or 2, and a failed decode or render leaves no output file.
// Input: a mode byte (decode, render, pat, camera-image folder), a token
// count and the tokens (length byte, bytes), a file count and the files
// (name length byte, name, 16-bit content length, content).

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/cli_common.h"
#include "fuzz/harness.h"
#include "support/temp_dir.h"

using namespace velmora;
using fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static test::TempDir temp;
  static const bool virtual_time = setenv("VELMORA_SIM_CLOCK", "virtual", 1) == 0;
  require(virtual_time, "cannot set the simulated clock");
  const std::filesystem::path in = temp.path() / "in", out = temp.path() / "out";
  std::filesystem::remove_all(in);
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(in);

  fuzzing::Input input(data, size);
  const auto text = [&input](std::size_t n) {
    const std::vector<std::uint8_t> bytes = input.bytes(n);
    std::string s(bytes.begin(), bytes.end());
    for (char& c : s) c = c == '\0' ? '_' : c;
    return s;
  };
  const int mode = input.byte() % 4;
  // The tokens go first: the harness's own output option comes last and wins,
  // so nothing is ever written outside the temporary folder.
  std::vector<std::string> argv{"velmora", mode == 0 ? "decode" : mode == 1 ? "render" : "download"};
  for (int n = input.byte() % 8; n > 0; --n) argv.push_back(text(input.byte() % 48));
  std::vector<std::string> paths;
  for (int n = input.byte() % 4 + 1; n > 0; --n) {
    // A name the folder can hold: no separators, not "." or "..".
    std::string name = text(input.byte() % 40);
    for (char& c : name) c = c == '/' || c == '\\' ? '_' : c;
    if (name.empty() || name == "." || name == "..") name = "f";
    std::ofstream(in / name, std::ios::binary) << text(input.u16());
    paths.push_back((in / name).string());
  }
  const auto run_quietly = [](const std::vector<std::string>& args) {
    std::ostringstream sink;
    auto *out = std::cout.rdbuf(sink.rdbuf()), *err = std::cerr.rdbuf(sink.rdbuf());
    const int status = cli::run(args);
    std::cout.rdbuf(out), std::cerr.rdbuf(err);
    require(status >= 0 && status <= 2, "exit status outside 0..2");
    return status;
  };

  if (mode <= 1) {
    argv.insert(argv.end(), {paths[0], "--output", out.string()});
    require(run_quietly(argv) == 0 || !std::filesystem::exists(out), "a failed command left its output file");
  } else if (mode == 2) {
    std::vector<std::string> pat{"velmora", "pat"};
    pat.insert(pat.end(), paths.begin(), paths.end());
    run_quietly(pat);
  } else {
    // The first file is the folder's directory.bin, the others keep their names.
    std::filesystem::rename(paths[0], in / "directory.bin");
    const std::string camera = "--simulated-camera=" + in.string();
    run_quietly({"velmora", "list", camera});
    argv.insert(argv.end(), {camera, "--to", out.string()});
    run_quietly(argv);
  }
  return 0;
}
