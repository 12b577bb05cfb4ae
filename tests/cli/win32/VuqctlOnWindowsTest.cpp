// vuqctl.exe run as a Windows user runs it: a process of its own with its standard
// output and error in files, arguments quoted as the C runtime reads them. The
// JSON of info is compared with the same portable code called in process; flash
// runs the virtual handset in process, with the verbs and exit codes of Linux; the
// frame of prepare --frame goes through the Windows port driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/Verbs.h"
#include "common/ByteOrder.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "platform/win32/Win32Text.h"
#include "support/ImageBuilder.h"

namespace
{
struct CLI_RUN
{
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

std::string ReadAll(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// One argument as the C runtime splits a command line: quoted when it holds a
// space, a tab or a quote; backslashes doubled before a quote.
std::wstring QuoteArgument(const std::wstring& strArg)
{
    if (!strArg.empty() && strArg.find_first_of(L" \t\"") == std::wstring::npos)
        return strArg;
    std::wstring strQuoted = L"\"";
    size_t nBackslashes = 0;
    for (wchar_t c : strArg)
    {
        if (c == L'\\')
        {
            ++nBackslashes;
            continue;
        }
        strQuoted.append(c == L'"' ? nBackslashes * 2 + 1 : nBackslashes, L'\\');
        nBackslashes = 0;
        strQuoted += c;
    }
    strQuoted.append(nBackslashes * 2, L'\\');
    return strQuoted + L"\"";
}

HANDLE OpenInherited(const std::wstring& strPath, bool bWrite)
{
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    return CreateFileW(strPath.c_str(), bWrite ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &sa, bWrite ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class VuqctlOnWindowsTest : public ::testing::Test
{
protected:
    // vuqctl.exe with these arguments, in strDir (the test's folder when empty), its
    // standard input the null device.
    CLI_RUN Run(const std::vector<std::string>& args, const std::string& strDir = std::string())
    {
        CLI_RUN result;
        std::wstring strCommand = QuoteArgument(Utf8ToWide(VUQCTL_PATH));
        for (const std::string& strArg : args)
            strCommand += L" " + QuoteArgument(Utf8ToWide(strArg.c_str()));
        HANDLE hOut = OpenInherited(Utf8ToWide(m_Dir.File("out.txt").c_str()), true);
        HANDLE hErr = OpenInherited(Utf8ToWide(m_Dir.File("err.txt").c_str()), true);
        HANDLE hIn = OpenInherited(L"NUL", false);
        EXPECT_NE(hOut, INVALID_HANDLE_VALUE);
        EXPECT_NE(hErr, INVALID_HANDLE_VALUE);
        EXPECT_NE(hIn, INVALID_HANDLE_VALUE);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = hIn;
        si.hStdOutput = hOut;
        si.hStdError = hErr;
        PROCESS_INFORMATION pi{};
        std::wstring strCwd = Utf8ToWide((strDir.empty() ? m_Dir.Path() : strDir).c_str());
        if (CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, TRUE, 0, nullptr, strCwd.c_str(), &si, &pi))
        {
            EXPECT_EQ(WaitForSingleObject(pi.hProcess, 120000), WAIT_OBJECT_0);
            WIN_DWORD dwExit = 0;
            GetExitCodeProcess(pi.hProcess, &dwExit);
            result.nExit = static_cast<int>(dwExit);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        else
        {
            ADD_FAILURE() << "vuqctl.exe could not be started: error " << GetLastError();
        }
        CloseHandle(hOut);
        CloseHandle(hErr);
        CloseHandle(hIn);
        result.strOut = ReadAll(m_Dir.File("out.txt"));
        result.strErr = ReadAll(m_Dir.File("err.txt"));
        return result;
    }

    std::string Write(const CImageBuilder& image, const std::string& strName = "image.dat")
    {
        std::string strPath = m_Dir.File(strName);
        EXPECT_TRUE(image.WriteTo(strPath));
        return strPath;
    }

    CTempDir m_Dir;
};

// The one line of standard output, without its line end (CR LF on Windows).
std::string OneLine(const std::string& strOut)
{
    std::string strLine = strOut;
    if (!strLine.empty() && strLine.back() == '\n')
        strLine.pop_back();
    if (!strLine.empty() && strLine.back() == '\r')
        strLine.pop_back();
    return strLine;
}

// The same path rooted on its drive with forward slashes, "/dir/file", as a user
// may type it: CLI11 takes such arguments for options on Windows unless told not to.
std::string SlashPath(const std::string& strPath)
{
    std::string strSlash = std::filesystem::path(strPath).make_preferred().string();
    if (strSlash.size() >= 2 && strSlash[1] == ':')
        strSlash.erase(0, 2);
    for (char& c : strSlash)
    {
        if (c == '\\')
            c = '/';
    }
    return strSlash;
}
}

TEST_F(VuqctlOnWindowsTest, InfoJsonIsThePortableJson)
{
    const struct
    {
        const char* pszName;
        CImageBuilder image;
        int nExit;
    } cases[] = {
        {"valid", CImageBuilder(), 0},
        {"values", CImageBuilder().SetOsPartBlocks(3).SetReserveBlocks(2).SetSize(5, 99).SetVersionText("VUQ 2.01.00 ABC"),
         0},
        {"version bytes that are no UTF-8", CImageBuilder().SetVersionText("VUQ \xC3\x28 \xFF\xFE"), 0},
        {"bad tag", CImageBuilder().SetTag("ABCD"), 1},
        {"length", CImageBuilder().SetTrailingBytes(1), 1},
        {"oem info", CImageBuilder().SetSize(0, 100), 1},
        {"no layout", CImageBuilder().SetBootSector(-1), 1},
        {"rev too big", CImageBuilder().SetReserveBlocks(5), 1},
    };
    for (const auto& test : cases)
    {
        std::string strImage = Write(test.image);
        COSUtil util;
        int nCode = 0;
        util.InitFile(strImage.c_str(), &nCode);
        std::string strExpected = InfoJsonText(util, nCode);

        CLI_RUN result = Run({"info", "--json", strImage});
        EXPECT_EQ(result.nExit, test.nExit) << test.pszName << ": " << result.strErr;
        EXPECT_EQ(OneLine(result.strOut), strExpected) << test.pszName;
    }
}

TEST_F(VuqctlOnWindowsTest, PathsStartingWithASlashAreNoOptions)
{
    // The files lie under the current folder and vuqctl runs there, so "/dir/file"
    // is on its drive (under Wine, where such a path is also read as a Unix path,
    // the current folder is on the drive of the Unix root).
    std::filesystem::path folder = std::filesystem::current_path() / std::filesystem::path(m_Dir.Path()).filename();
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    CImageBuilder image;
    std::string strImage = (folder / "image.dat").string();
    ASSERT_TRUE(image.WriteTo(strImage));
    std::string strPart = (folder / "os.bin").string();

    CLI_RUN result = Run({"info", "--json", SlashPath(strImage)}, folder.string());
    EXPECT_EQ(result.nExit, 0) << SlashPath(strImage) << ": " << result.strErr;
    result = Run({"extract", "--part", "16", SlashPath(strImage), SlashPath(strPart)}, folder.string());
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    std::string strBytes = ReadAll(strPart);
    EXPECT_EQ(std::vector<BYTE>(strBytes.begin(), strBytes.end()), image.PartBytes(PART_OS));
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

TEST_F(VuqctlOnWindowsTest, SimulatedHandsetIsFlashedInProcess)
{
    CImageBuilder image;
    std::string strImage = Write(image, "my firmware.bin");
    std::string strBefore = ReadAll(strImage);
    const struct
    {
        std::vector<std::string> mode;
        const char* pszFlashed;
    } modes[] = {
        {{}, "vuqctl flash: "},
        {{"--legacy"}, "vuqctl flash --legacy: "},
        {{"--sim-transport", "in-process"}, "vuqctl flash: "},
        {{"--sim-transport", "in-process", "--legacy"}, "vuqctl flash --legacy: "},
    };
    for (const auto& mode : modes)
    {
        std::vector<std::string> args = {"-v", "flash", "--simulate", "--time-scale", "100"};
        args.insert(args.end(), mode.mode.begin(), mode.mode.end());
        args.push_back(strImage);
        CLI_RUN result = Run(args);
        std::string strMode = mode.mode.empty() ? "default" : mode.mode.back();
        EXPECT_EQ(result.nExit, 0) << strMode << "\n" << result.strErr;
        EXPECT_NE(result.strErr.find("arrives as sim:handset-1"), std::string::npos) << strMode;
        EXPECT_NE(result.strOut.find(std::string(mode.pszFlashed) + strImage + ": flashed"), std::string::npos)
            << strMode << "\n" << result.strOut;
        EXPECT_NE(result.strOut.find("operating system"), std::string::npos) << strMode;
        EXPECT_NE(result.strOut.find("closing frame"), std::string::npos) << strMode;
        EXPECT_EQ(result.strOut.find("BAD"), std::string::npos) << strMode;
        EXPECT_EQ(ReadAll(strImage), strBefore) << "IMAGE is only read";
        EXPECT_FALSE(std::filesystem::exists(m_Dir.File("TempFileToDown"))) << "no staging file next to IMAGE";
    }
}

TEST_F(VuqctlOnWindowsTest, FlashFailuresEndWithTheRunResult)
{
    std::string strBad = Write(CImageBuilder().SetTag("XXXX"), "bad.dat");
    std::string strGood = Write(CImageBuilder(), "good.dat");
    const struct
    {
        std::vector<std::string> args;
        int nExit;
        const char* pszErr;
    } cases[] = {
        {{"flash", "--simulate", "--time-scale", "100", strBad}, 11, "bad.dat"},
        {{"flash", "--simulate", "--time-scale", "100", m_Dir.File("missing.dat")}, 11, "missing.dat"},
        // No pseudo-terminals here.
        {{"flash", "--simulate", "--sim-transport", "pty", strGood}, 16, "could not open a pseudo-terminal"},
        {{"flash", "--legacy", "--simulate", "--sim-transport", "pty", strGood}, 3, "could not open a pseudo-terminal"},
        // A regular file or a folder given as the port is refused: a download would
        // overwrite the file.
        {{"flash", "--port", strBad, "--time-scale", "1000", strGood}, 16, "is a regular file, not a device"},
        {{"flash", "--legacy", "--port", m_Dir.Path(), "--time-scale", "1000", strGood}, 3,
         "is a folder, not a device"},
        // A port name with nothing behind it is waited for, in vain.
        {{"flash", "--port", "\\\\.\\COM250", "--time-scale", "1000", strGood}, 16, "no download port appeared"},
        {{"flash", "--legacy", "--port", "COM250", "--time-scale", "1000", strGood}, 3, "no download port appeared"},
        {{"flash", strGood}, 2, "--port"},
        {{"flash", "--simulate", "--port", "COM3", strGood}, 2, ""},
        {{"flash", "--sim-transport", "in-process", "--port", "COM3", strGood}, 2, "--simulate"},
        {{"flash", "--simulate", "--sim-transport", "usb", strGood}, 2, "--sim-transport"},
    };
    for (const auto& test : cases)
    {
        CLI_RUN result = Run(test.args);
        std::string strArgs;
        for (const std::string& strArg : test.args)
            strArgs += strArg + " ";
        EXPECT_EQ(result.nExit, test.nExit) << strArgs << "\n" << result.strErr;
        EXPECT_NE(result.strErr.find(test.pszErr), std::string::npos) << strArgs << "\n" << result.strErr;
    }
}

TEST_F(VuqctlOnWindowsTest, PrepareFrameWritesTheDownloadFrame)
{
    // The frame goes through the Windows port driver into a file, as to a handset.
    CImageBuilder image;
    std::string strImage = Write(image);
    const struct
    {
        std::vector<std::string> args;
        DWORD dwFlag;
        DWORD dwCommand;
    } cases[] = {
        {{"--flag", "0", "--os-type", "0", "--frame", "57"}, 0, 57},
        {{"--flag", "0x6", "--os-type", "0", "--frame", "0"}, 0x6, 0},
    };
    for (const auto& test : cases)
    {
        std::string strOut = m_Dir.File("frame.bin");
        std::vector<std::string> args = {"prepare"};
        args.insert(args.end(), test.args.begin(), test.args.end());
        args.push_back(strImage);
        args.push_back(strOut);
        CLI_RUN result = Run(args);
        ASSERT_EQ(result.nExit, 0) << test.dwCommand << ": " << result.strErr;

        std::vector<BYTE> payload = image.PreparedImage(test.dwFlag, 0);
        std::string strFrame = ReadAll(strOut);
        ASSERT_EQ(strFrame.size(), payload.size() + 10) << test.dwCommand;
        const BYTE* pFrame = reinterpret_cast<const BYTE*>(strFrame.data());
        EXPECT_EQ(ReadLE32(pFrame), test.dwCommand);
        EXPECT_EQ(ReadLE32(pFrame + 4), payload.size() + 10);
        EXPECT_EQ(std::vector<BYTE>(pFrame + 8, pFrame + 8 + payload.size()), payload);
        EXPECT_EQ(ReadLE16(pFrame + 8 + payload.size()),
                  CDownloader::ByteCheckSum(payload.data(), static_cast<int>(payload.size())));
    }
}
