// Started by the utility test: prints the executable's name as the tool sees it and logs one entry.
// With "replace" it first puts another file in its own place, as an update does while it runs.
#include "support/u_Utility.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "replace") {
        const std::string self = korvista::TUtility::GetExeName();
        std::ofstream(self + ".new") << "a newer version\n";
        if (std::rename((self + ".new").c_str(), self.c_str()) != 0)
            return 3;
    }
    korvista::DebugOutputEnabled = false;
    korvista::TDebug::Log("probe entry", "");
    std::printf("%s\n", korvista::TUtility::GetExeName().c_str());
    return 0;
}
