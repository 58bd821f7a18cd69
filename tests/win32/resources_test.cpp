// The program's resources as compiled into an executable: dialog templates 102 and 100 read
// back byte by byte, string 101, icon 128 and the version resource, all in language 1028.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/res/resource.h"
#include "brivane_version.h"

namespace brivane::testing {
namespace {

const WORD kLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);  // 1028

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// Resource types by number: 5 dialog, 14 icon group.
Resource find(LPCWSTR type, int id) {
    HRSRC r = FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), kLanguage);
    if (r == nullptr) {
        return {};
    }
    return {static_cast<const BYTE*>(LockResource(LoadResource(nullptr, r))),
            SizeofResource(nullptr, r)};
}

// Reads a dialog template in order.
class Reader {
public:
    explicit Reader(const BYTE* p) : p_(p) {}
    WORD word() {
        WORD w;
        std::memcpy(&w, p_, 2);
        p_ += 2;
        return w;
    }
    DWORD dword() {
        DWORD d;
        std::memcpy(&d, p_, 4);
        p_ += 4;
        return d;
    }
    short signedWord() { return static_cast<short>(word()); }
    // A string, or an ordinal written as "#N".
    std::wstring text() {
        if (peek() == 0xFFFF) {
            word();
            return L"#" + std::to_wstring(word());
        }
        std::wstring s;
        for (WORD c = word(); c != 0; c = word()) {
            s += static_cast<wchar_t>(c);
        }
        return s;
    }
    void alignDword(const BYTE* base) {
        while ((p_ - base) % 4 != 0) {
            ++p_;
        }
    }
    WORD peek() const {
        WORD w;
        std::memcpy(&w, p_, 2);
        return w;
    }

private:
    const BYTE* p_;
};

struct Item {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    DWORD id;
    std::wstring windowClass;
    std::wstring title;
};

constexpr DWORD kChildVisible = WS_CHILD | WS_VISIBLE;

// The controls of a template: DLGITEMTEMPLATEEX items for an extended template, DLGITEMTEMPLATE
// items for a plain one, each starting on a DWORD boundary.
std::vector<Item> readItems(Reader& in, const BYTE* base, WORD count, bool extended) {
    std::vector<Item> items;
    for (WORD i = 0; i < count; ++i) {
        in.alignDword(base);
        Item item{};
        if (extended) {
            in.dword();  // helpID
            item.exStyle = in.dword();
            item.style = in.dword();
        } else {
            item.style = in.dword();
            item.exStyle = in.dword();
        }
        item.x = in.signedWord();
        item.y = in.signedWord();
        item.cx = in.signedWord();
        item.cy = in.signedWord();
        item.id = extended ? in.dword() : in.word();
        item.windowClass = in.text();
        item.title = in.text();
        const WORD extra = in.word();
        for (WORD b = 0; b < extra; b += 2) {
            in.word();
        }
        items.push_back(item);
    }
    return items;
}

TEST(Resources, MainDialogIsTheExtendedTemplate102) {
    const Resource r = find(MAKEINTRESOURCEW(5), IDD_BRIVANE_DIALOG);
    ASSERT_NE(r.data, nullptr) << "dialog 102 in language 1028";
    Reader in(r.data);
    EXPECT_EQ(in.word(), 1);       // dlgVer
    EXPECT_EQ(in.word(), 0xFFFF);  // signature: extended
    in.dword();                    // helpID
    EXPECT_EQ(in.dword(), static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(in.dword(), static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                             DS_MODALFRAME | DS_SETFONT));
    const WORD count = in.word();
    EXPECT_EQ(count, 2);
    EXPECT_EQ(in.signedWord(), 0);
    EXPECT_EQ(in.signedWord(), 0);
    EXPECT_EQ(in.signedWord(), 165);
    EXPECT_EQ(in.signedWord(), 48);
    EXPECT_EQ(in.text(), L"");  // no menu
    EXPECT_EQ(in.text(), L"");  // the standard dialog class
    EXPECT_EQ(in.text(), L"Brivane");
    EXPECT_EQ(in.word(), 12);        // point size
    EXPECT_EQ(in.word(), 400);       // normal weight
    EXPECT_EQ(in.word() & 0xFF, 0);  // not italic
    EXPECT_EQ(in.text(), L"Times New Roman");

    const std::vector<Item> items = readItems(in, r.data, count, true);
    ASSERT_EQ(items.size(), 2u);
    const Item& status = items[0];
    EXPECT_EQ(status.id, 1002u);
    EXPECT_EQ(status.windowClass, L"#129");  // edit
    EXPECT_EQ(status.title, L"");
    EXPECT_EQ(status.style,
              kChildVisible | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_CENTER | ES_AUTOHSCROLL);
    EXPECT_EQ((std::vector<short>{status.x, status.y, status.cx, status.cy}),
              (std::vector<short>{7, 7, 151, 12}));
    const Item& hint = items[1];
    EXPECT_EQ(hint.id, 1001u);
    EXPECT_EQ(hint.windowClass, L"#130");  // static
    EXPECT_EQ(hint.style, kChildVisible | WS_GROUP | SS_LEFT);
    EXPECT_EQ(hint.title,
              L"The process needs about 1 minute. Please don't turn off the power "
              L"during the process!!");
    EXPECT_EQ((std::vector<short>{hint.x, hint.y, hint.cx, hint.cy}),
              (std::vector<short>{7, 24, 151, 17}));
}

TEST(Resources, AboutBoxIsThePlainTemplate100) {
    const Resource r = find(MAKEINTRESOURCEW(5), IDD_ABOUTBOX);
    ASSERT_NE(r.data, nullptr) << "dialog 100 in language 1028";
    Reader in(r.data);
    EXPECT_EQ(in.dword(),
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(in.dword(), 0u);  // no extended style
    const WORD count = in.word();
    EXPECT_EQ(count, 4);
    EXPECT_EQ(
        (std::vector<short>{in.signedWord(), in.signedWord(), in.signedWord(), in.signedWord()}),
        (std::vector<short>{0, 0, 235, 55}));
    EXPECT_EQ(in.text(), L"");
    EXPECT_EQ(in.text(), L"");
    EXPECT_EQ(in.text(), L"關於 Brivane");
    EXPECT_EQ(in.word(), 9);
    EXPECT_EQ(in.text(), L"新細明體");

    const std::vector<Item> items = readItems(in, r.data, count, false);
    ASSERT_EQ(items.size(), 4u);
    // The static class by its ordinal or its name, as the resource compiler wrote it.
    EXPECT_TRUE(items[0].windowClass == L"#130" ||
                _wcsicmp(items[0].windowClass.c_str(), L"STATIC") == 0);
    EXPECT_EQ(items[0].title, L"#128");
    EXPECT_EQ(items[0].style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
    EXPECT_EQ((std::vector<short>{items[0].x, items[0].y, items[0].cx, items[0].cy}),
              (std::vector<short>{11, 17, 20, 20}));
    EXPECT_EQ(items[1].title, L"Brivane Version 1.0");
    // Taken from the project's one version number.
    const std::string about = kAboutVersionText;
    EXPECT_EQ(items[1].title, std::wstring(about.begin(), about.end()));
    EXPECT_EQ(items[1].style, kChildVisible | WS_GROUP | SS_NOPREFIX | SS_LEFT);
    EXPECT_EQ((std::vector<short>{items[1].x, items[1].y, items[1].cx, items[1].cy}),
              (std::vector<short>{40, 10, 119, 8}));
    EXPECT_EQ((std::vector<short>{items[2].x, items[2].y, items[2].cx, items[2].cy}),
              (std::vector<short>{40, 25, 119, 8}));
    EXPECT_EQ(items[3].id, static_cast<DWORD>(IDOK));
    EXPECT_EQ(items[3].windowClass, L"#128");  // button
    EXPECT_EQ(items[3].title, L"確定");
    EXPECT_EQ(items[3].style, kChildVisible | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON);
    EXPECT_EQ((std::vector<short>{items[3].x, items[3].y, items[3].cx, items[3].cy}),
              (std::vector<short>{178, 7, 50, 14}));
    for (const Item& item : items) {
        EXPECT_EQ(item.style & kChildVisible, kChildVisible);
    }
}

TEST(Resources, AboutItemString101) {
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(nullptr, IDS_ABOUTBOX, text, 64), 0);
    EXPECT_STREQ(text, L"關於 Brivane(&A)...");
}

TEST(Resources, Icon128HasA32And16PixelImageOf16Colours) {
    const Resource r = find(MAKEINTRESOURCEW(14), IDR_MAINFRAME);
    ASSERT_NE(r.data, nullptr);
    Reader in(r.data);
    EXPECT_EQ(in.word(), 0);
    EXPECT_EQ(in.word(), 1);  // icons
    const WORD count = in.word();
    ASSERT_EQ(count, 2);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const WORD widthHeight = in.word();  // width, height bytes
        const WORD colours = in.word() & 0xFF;
        in.word();                // planes
        EXPECT_EQ(in.word(), 4);  // bits per pixel
        in.dword();               // bytes
        in.word();                // id
        sizes.push_back(widthHeight & 0xFF);
        EXPECT_EQ(colours, 16);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

std::wstring versionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040404b0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length)) {
        return L"<missing>";
    }
    return length == 0 ? L"" : std::wstring(static_cast<const wchar_t*>(value));
}

TEST(Resources, VersionResource) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);
    // The same as the project's version number, with a fourth part of 0.
    EXPECT_EQ(fixed->dwFileVersionMS,
              static_cast<DWORD>(BRIVANE_VERSION_MAJOR << 16 | BRIVANE_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(BRIVANE_VERSION_PATCH << 16));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    struct Value {
        const wchar_t* name;
        const wchar_t* text;
    };
    for (const Value v :
         {Value{L"FileDescription", L"Brivane MFC Application"},
          Value{L"FileVersion", L"1, 0, 1, 0"}, Value{L"InternalName", L"Brivane"},
          Value{L"OriginalFilename", L"Brivane.EXE"}, Value{L"ProductName", L"Brivane Application"},
          Value{L"ProductVersion", L"1, 0, 1, 0"}, Value{L"Comments", L""},
          Value{L"CompanyName", L""}, Value{L"LegalTrademarks", L""}, Value{L"PrivateBuild", L""},
          Value{L"SpecialBuild", L""}}) {
        EXPECT_EQ(versionString(info, v.name), v.text)
            << std::string(v.name, v.name + wcslen(v.name));
    }
    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(LOWORD(*translation), 0x0404);
    EXPECT_EQ(HIWORD(*translation), 1200);
}

}  // namespace
}  // namespace brivane::testing
