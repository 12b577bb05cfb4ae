// vuq_test_sleeper.exe [MILLISECONDS [FILE]]: writes FILE (empty) when given, so
// that a test sees it has started with its command line, then sleeps
// MILLISECONDS (60000 by default) and exits with 0.
// vuq_test_sleeper.exe /quit: what the sync manager is asked when it should quit;
// writes a file named after the program itself with ".quit" added and exits.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace
{
bool WriteEmptyFile(const std::string& strPath)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    std::fclose(pFile);
    return true;
}
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "/quit") == 0)
        return WriteEmptyFile(std::string(argv[0]) + ".quit") ? 0 : 2;
    long lMilliseconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 60000;
    if (argc > 2 && !WriteEmptyFile(argv[2]))
        return 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(lMilliseconds));
    return 0;
}
