// The program entry: the arguments as UTF-8, handed to the command table.

#include <string>
#include <vector>

#include "base/text.h"
#include "cli/cli_common.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const std::u16string wide(reinterpret_cast<const char16_t*>(argv[i]));
    args.push_back(velmora::utf16_to_utf8(wide));
  }
  return velmora::cli::run(args);
}
#else
int main(int argc, char** argv) { return velmora::cli::run(std::vector<std::string>(argv, argv + argc)); }
#endif
