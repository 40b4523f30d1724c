#include <gtest/gtest.h>
#include <windows.h>
#include <malloc.h>
#include <string>
#include <vector>
#include "carrier.h"
#include "carrier_corpus.h"
#include "carrier_file.h"

namespace {

// What a message box looked like when it came up.
struct ShownBox {
    std::string text;
    std::string caption;
    HWND owner;
    bool errorIcon;
    int buttons;
    bool okButton;
    bool fileHeld;  // the loaded file could not be opened for writing meanwhile
};

// Boxes of this thread are caught by a hook on their window procedure,
// recorded and ended, so the loader runs its real MessageBoxA with nobody to click.
struct BoxCatcher {
    HHOOK hook;
    std::vector<ShownBox> boxes;
    std::string path;  // the file under load
} Catcher;

BOOL CALLBACK CountChild(HWND child, LPARAM lParam)
{
    ShownBox* box = reinterpret_cast<ShownBox*>(lParam);
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") == 0) {
        box->buttons++;
        box->okButton = GetDlgCtrlID(child) == IDOK;
    } else if (lstrcmpiA(cls, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        box->errorIcon = icon && icon == LoadIconA(nullptr, IDI_ERROR);
    }
    return TRUE;
}

bool HeldByAnother(const std::string& path)
{
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return false;
}

// Read when the box has set up its controls, and destroyed there, before it
// is ever shown: hiding a shown box costs two seconds on a display without a
// window manager. MessageBoxA then returns at once (the loader ignores what).
LRESULT CALLBACK CatchBox(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    char cls[16] = {};
    if (code == HC_ACTION && call->message == WM_INITDIALOG && GetClassNameA(call->hwnd, cls, sizeof cls) &&
        lstrcmpA(cls, "#32770") == 0) {
        ShownBox box{};
        char text[256] = {};
        GetDlgItemTextA(call->hwnd, 0xFFFF, text, sizeof text);
        box.text = text;
        GetWindowTextA(call->hwnd, text, sizeof text);
        box.caption = text;
        box.owner = GetWindow(call->hwnd, GW_OWNER);
        EnumChildWindows(call->hwnd, CountChild, reinterpret_cast<LPARAM>(&box));
        box.fileHeld = !Catcher.path.empty() && HeldByAnother(Catcher.path);
        Catcher.boxes.push_back(box);
        DestroyWindow(call->hwnd);
    }
    return CallNextHookEx(Catcher.hook, code, wParam, lParam);
}

struct LoaderTest : ::testing::Test {
    HWND panel = nullptr;
    std::string folder;

    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "voxotrope-loader-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        panel = CreateWindowExA(0, "STATIC", "AM", WS_POPUP, 0, 0, 150, 100, nullptr, nullptr, nullptr, nullptr);
        Catcher.boxes.clear();
        Catcher.path.clear();
        Catcher.hook = SetWindowsHookExA(WH_CALLWNDPROCRET, CatchBox, nullptr, GetCurrentThreadId());
        ASSERT_NE(Catcher.hook, nullptr);
        ReleaseCarrier();
    }
    void TearDown() override
    {
        UnhookWindowsHookEx(Catcher.hook);
        DestroyWindow(panel);
        ReleaseCarrier();
        Catcher.path.clear();
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::string path = folder + "\\" + name + ".wav";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        EXPECT_EQ(written, bytes.size());
        return path;
    }
    // The AM panel's load command after the dialog: the loader, then the
    // restart of the read position.
    void Load(const std::string& path)
    {
        Catcher.path = path;
        LoadCarrierFile(panel, path.c_str(), &CarrierWave.samples, &CarrierWave.length);
        CarrierWave.readPosition = CarrierWave.samples;
    }
    void ExpectOneBox(const char* text)
    {
        ASSERT_EQ(Catcher.boxes.size(), 1u);
        const ShownBox& box = Catcher.boxes[0];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Voxotrope");
        EXPECT_EQ(box.owner, panel);
        EXPECT_TRUE(box.errorIcon);
        EXPECT_EQ(box.buttons, 1);
        EXPECT_TRUE(box.okButton);
    }
    void ExpectDefaultCarrier(const int16_t* samples)
    {
        EXPECT_EQ(CarrierWave.samples, samples);
        EXPECT_EQ(CarrierWave.length, 1000u);
        EXPECT_EQ(CarrierWave.readPosition, samples);
        EXPECT_EQ(samples[0], -4000);
        EXPECT_EQ(samples[16], 4000);
    }
};

struct LoaderCorpusTest : LoaderTest, ::testing::WithParamInterface<CarrierFileCase> {};

TEST_P(LoaderCorpusTest, FileOnDisk)
{
    const CarrierFileCase& file = GetParam();
    std::string path = Write(file.name, file.bytes);
    ASSERT_TRUE(CreateDefaultCarrier());
    const int16_t* before = CarrierWave.samples;
    CarrierWave.readPosition = before + 123;

    Load(path);
    if (file.message) {
        ExpectOneBox(file.message);
        EXPECT_TRUE(Catcher.boxes[0].fileHeld);
        ExpectDefaultCarrier(before);
    } else {
        EXPECT_TRUE(Catcher.boxes.empty());
        ASSERT_EQ(CarrierWave.length, file.length);
        EXPECT_EQ(CarrierWave.readPosition, CarrierWave.samples);
        EXPECT_EQ(memcmp(CarrierWave.samples, file.bytes.data() + 44, file.length), 0);
    }
    EXPECT_FALSE(HeldByAnother(path));  // closed on every path
}

INSTANTIATE_TEST_SUITE_P(Files, LoaderCorpusTest, ::testing::ValuesIn(CarrierFileCorpus()),
                         [](const auto& info) { return info.param.name; });

TEST_F(LoaderTest, FileHeldExclusivelyCannotBeOpened)
{
    std::string path = Write("held", CanonicalWave({10, 20, 30, 40}));
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CreateDefaultCarrier());
    const int16_t* before = CarrierWave.samples;
    Catcher.path.clear();
    LoadCarrierFile(panel, path.c_str(), &CarrierWave.samples, &CarrierWave.length);
    CarrierWave.readPosition = CarrierWave.samples;
    CloseHandle(other);
    ExpectOneBox("Cannot open file !");
    ExpectDefaultCarrier(before);
}

TEST_F(LoaderTest, MissingFileCannotBeOpened)
{
    ASSERT_TRUE(CreateDefaultCarrier());
    const int16_t* before = CarrierWave.samples;
    Load(folder + "\\absent.wav");
    ExpectOneBox("Cannot open file !");
    ExpectDefaultCarrier(before);
}

// A source that opens but cannot be read: a pipe whose writing end goes
// away as soon as the loader has connected. That is said, instead of judging
// bytes that were never read.
DWORD WINAPI HangUp(void* server)
{
    ConnectNamedPipe(server, nullptr);
    CloseHandle(server);
    return 0;
}

TEST_F(LoaderTest, UnreadableSourceCannotBeRead)
{
    const char* name = "\\\\.\\pipe\\voxotrope-unreadable";
    HANDLE server = CreateNamedPipeA(name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE thread = CreateThread(nullptr, 0, HangUp, server, 0, nullptr);
    ASSERT_TRUE(CreateDefaultCarrier());
    const int16_t* before = CarrierWave.samples;
    Load(name);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ExpectOneBox("Cannot read file !");
    ExpectDefaultCarrier(before);
}

void* NoBlock(size_t)
{
    return nullptr;
}

TEST_F(LoaderTest, NoBlockForTheFileIsNotEnoughMemory)
{
    std::string path = Write("nomemory", CanonicalWave({10, 20, 30, 40}));
    ASSERT_TRUE(CreateDefaultCarrier());
    const int16_t* before = CarrierWave.samples;
    AllocateCarrierBlock = NoBlock;
    Load(path);
    AllocateCarrierBlock = malloc;
    ExpectOneBox("Not enough memory !");
    EXPECT_TRUE(Catcher.boxes[0].fileHeld);
    ExpectDefaultCarrier(before);
    EXPECT_FALSE(HeldByAnother(path));
}

// A late load after the panel's carrier was released: nothing is freed a
// second time, the file becomes the carrier.
TEST_F(LoaderTest, LoadWithNoCarrierLiveInstallsIt)
{
    std::string path = Write("late", CanonicalWave({10, 20, 30, 40}));
    ASSERT_TRUE(CreateDefaultCarrier());
    ReleaseCarrier();
    Load(path);
    EXPECT_TRUE(Catcher.boxes.empty());
    ASSERT_NE(CarrierWave.samples, nullptr);
    EXPECT_EQ(CarrierWave.length, 8u);
    EXPECT_EQ(CarrierWave.samples[3], 40);
}

// Bytes in use on the C runtime's heap.
size_t HeapInUse()
{
    size_t used = 0;
    _HEAPINFO entry{};
    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY)
            used += entry._size;
    return used;
}

// Every refusal frees the file's block: twenty refused 1 MB files leave
// the heap as it was, give or take.
TEST_F(LoaderTest, RefusalsFreeTheFileBlock)
{
    std::vector<uint8_t> stereo = CanonicalWave(std::vector<int16_t>(1 << 19));
    Put16(stereo, 22, 2);
    std::vector<uint8_t> pastEnd = CanonicalWave(std::vector<int16_t>(1 << 19));
    Put32(pastEnd, 40, 0xFFFFFFFF);
    std::string paths[2] = {Write("stereo", stereo), Write("pastend", pastEnd)};
    ASSERT_TRUE(CreateDefaultCarrier());
    Load(paths[0]);
    size_t before = HeapInUse();
    for (int i = 0; i < 20; i++)
        Load(paths[i % 2]);
    EXPECT_EQ(Catcher.boxes.size(), 21u);
    EXPECT_LT(HeapInUse(), before + (1u << 20));
}

TEST(OpenFileRequest, PreparedForTheMainWindow)
{
    HWND main = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 150, 100, nullptr, nullptr, nullptr, nullptr);
    PrepareOpenFileRequest(main);
    const OPENFILENAMEA& r = OpenFileRequest;
    EXPECT_EQ(r.lStructSize, offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR));
    EXPECT_EQ(r.hwndOwner, main);
    EXPECT_EQ(memcmp(r.lpstrFilter, "Wave (*.wav)\0*.wav\0\0", 20), 0);
    EXPECT_EQ(r.nFilterIndex, 0u);
    EXPECT_EQ(r.lpstrFile, CarrierFileName);
    EXPECT_EQ(r.nMaxFile, 256u);
    EXPECT_EQ(r.Flags, 0x1000u);
    EXPECT_STREQ(r.lpstrDefExt, "wav");
    EXPECT_EQ(r.lpstrTitle, nullptr);
    EXPECT_EQ(r.lpstrInitialDir, nullptr);
    EXPECT_EQ(r.hInstance, nullptr);
    DestroyWindow(main);
}

}  // namespace
