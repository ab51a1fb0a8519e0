// The commands of sonfara-cli; each lives in its own file.
#pragma once

#include <string>
#include <vector>

namespace sonfara::cli {

using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* usage;
    CommandFn run;
};

int RunInfo(const std::vector<std::string>& args);
int RunDump(const std::vector<std::string>& args);
int RunInst(const std::vector<std::string>& args);
int RunSettings(const std::vector<std::string>& args);
int RunWrd(const std::vector<std::string>& args);
int RunLyrics(const std::vector<std::string>& args);
int RunList(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& args);
int RunRender(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunLibrary(const std::vector<std::string>& args);

}  // namespace sonfara::cli
