#include "tools/tool/Forward.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace spinlorex::tool {

int forwardTo(const std::string& program, const Args& args) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string path = ec ? program : (self.parent_path() / program).string();
    std::vector<std::string> words{path};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    std::fprintf(stderr,
                 "spinlorex-tool: cannot run %s (%s); it is built with the desk's Qt parts\n",
                 path.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace spinlorex::tool
