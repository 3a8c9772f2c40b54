// UI driver of the end-to-end tests: a console program that works the
// dialogs of another process by window caption and control id. It reads one
// command per line on stdin and answers one line on stdout:
//   "OK" or "OK <value>" on success, "ERR <reason>" on failure.
// Texts in answers are escaped (\\, \n, \r, \t) so that every answer is one
// line; set-text decodes the same escapes.
//
// Commands (<id> is a control id of the current window, decimal or 0x hex):
//   wait-window <caption> <timeout-ms>   find a top-level window, make it current
//   wait-gone <caption> <timeout-ms>     wait until no window has that caption
//   rect                                 "x y w h" of the current window
//   settle <ms>                          repaint the current window, wait <ms>
//   click <id>                           post BM_CLICK (may open a modal box)
//   send-click <id>                      send BM_CLICK and wait for it
//   key <id> <vk>                        post a key press (down and up) to a control,
//                                        through the dialog's keyboard handling
//   get-text <id> | set-text <id> <text>
//   get-check <id> | is-enabled <id> | is-visible <id> | exists <id>
//   get-class <id> | get-style <id>
//   list-count <id> | list-text <id> <row> | list-data <id> <row>
//   list-sel <id> | list-select <id> <row>
//   list-sel-rows <id>                   selected rows of a multiple-selection list: "0,2"
//   list-multi-select <id> <rows|none>   select exactly rows "0,2" (LB_SETSEL), notify
//   listview-count <id> | listview-text <id> <row> <col>
//   listview-select <id> <rows|none>     select exactly rows "0,2" of a list view
//   listview-sel-rows <id>               selected rows of a list view: "0,2"
//   wait-box <caption> <timeout-ms>      message box text (control 0xFFFF)
//   answer-box <caption> <button-id>     click a box button, wait until it closes
//   menu <id>                            post WM_COMMAND
//   watch-search <button> <list> <rows> <timeout-ms>
//                                        post BM_CLICK to <button>, then every 20 ms
//                                        send WM_NULL to the current window (at most
//                                        100 ms each) until <list> was hidden and is
//                                        shown again with at least <rows> rows:
//                                        "<click-to-list ms> <longest non-answer ms>
//                                        <messages sent> <messages not answered>"
//   dpi-changed <dpi>                    send WM_DPICHANGED to the current window, as
//                                        when it moves to a screen of that resolution:
//                                        the suggested rectangle keeps the top-left
//                                        corner and scales the size from the window's
//                                        resolution
//   ctl-size <id>                        "w h" of a control's window
//   list-item-height <id>                row height of a list box
//   listview-col-width <id> <col>        width of a list view column
//   windows                              captions of the visible top-level windows
//   menu-text <menu-id> <item-id>        text of a menu item in the menu resource of
//                                        the current window's program (under Wine a
//                                        live menu cannot be read from another process)
//   quit
// Every wait is bounded; while waiting, a Wine crash box ("Program Error")
// ends the wait with "ERR crash".
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kSendTimeoutMs = 5000;
const DWORD kPollMs = 20;
const DWORD kPingIntervalMs = 20;
const DWORD kPingTimeoutMs = 100;
const wchar_t kCrashCaption[] = L"Program Error";

std::string ToUtf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring FromUtf8(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

void Answer(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool ParseNumber(const std::string& s, long long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (end == nullptr || *end != '\0') return false;
    *out = v;
    return true;
}

std::wstring WindowCaption(HWND h) {
    wchar_t buf[512];
    int n = GetWindowTextW(h, buf, 512);
    return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring ClassOf(HWND h) {
    wchar_t buf[256];
    int n = GetClassNameW(h, buf, 256);
    return std::wstring(buf, n > 0 ? n : 0);
}

struct FindArgs {
    std::wstring caption;
    bool dialogsOnly;
    HWND found;
};

BOOL CALLBACK FindProc(HWND h, LPARAM lp) {
    FindArgs* a = reinterpret_cast<FindArgs*>(lp);
    if (!IsWindowVisible(h)) return TRUE;
    if (a->dialogsOnly && ClassOf(h) != L"#32770") return TRUE;
    if (WindowCaption(h) != a->caption) return TRUE;
    a->found = h;
    return FALSE;
}

HWND FindTopLevel(const std::wstring& caption, bool dialogsOnly) {
    FindArgs a{caption, dialogsOnly, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&a));
    return a.found;
}

BOOL CALLBACK ListProc(HWND h, LPARAM lp) {
    std::vector<std::wstring>* out = reinterpret_cast<std::vector<std::wstring>*>(lp);
    if (IsWindowVisible(h)) out->push_back(WindowCaption(h) + L" [" + ClassOf(h) + L"]");
    return TRUE;
}

bool CrashBoxShown() { return FindTopLevel(kCrashCaption, false) != nullptr; }

// Text of a window of another process (WM_GETTEXT is marshalled by the system).
bool TextOf(HWND h, std::wstring* text) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
        return false;
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
        return false;
    text->assign(buf.data(), got < buf.size() ? got : buf.size() - 1);
    return true;
}

bool Send(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r)) return false;
    if (result != nullptr) *result = static_cast<LRESULT>(r);
    return true;
}

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class Driver {
public:
    void run() {
        char line[8192];
        while (std::fgets(line, sizeof line, stdin) != nullptr) {
            std::string s(line);
            while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
            if (s.empty()) continue;
            if (s == "quit") {
                Answer("OK");
                return;
            }
            Answer(handle(s));
        }
    }

private:
    HWND current_ = nullptr;

    // Splits "cmd rest" and offers the pieces the commands need.
    struct Args {
        std::string cmd, rest;
        std::vector<std::string> words;
    };

    static Args Split(const std::string& s) {
        Args a;
        size_t sp = s.find(' ');
        a.cmd = s.substr(0, sp);
        a.rest = sp == std::string::npos ? "" : s.substr(sp + 1);
        size_t pos = 0;
        while (pos < a.rest.size()) {
            size_t next = a.rest.find(' ', pos);
            if (next == std::string::npos) next = a.rest.size();
            if (next > pos) a.words.push_back(a.rest.substr(pos, next - pos));
            pos = next + 1;
        }
        return a;
    }

    // "<caption> <number>": the caption may contain blanks.
    static bool CaptionAndNumber(const Args& a, std::wstring* caption, long long* n) {
        size_t sp = a.rest.rfind(' ');
        if (sp == std::string::npos) return false;
        *caption = FromUtf8(Unescape(a.rest.substr(0, sp)));
        return ParseNumber(a.rest.substr(sp + 1), n);
    }

    std::string control(const Args& a, size_t words, HWND* ctl) {
        if (a.words.size() < words) return "ERR missing arguments";
        if (current_ == nullptr || !IsWindow(current_)) return "ERR no current window";
        long long id = 0;
        if (!ParseNumber(a.words[0], &id)) return "ERR bad id " + a.words[0];
        *ctl = GetDlgItem(current_, static_cast<int>(id));
        if (*ctl == nullptr) return "ERR no control " + a.words[0];
        return "";
    }

    std::string waitFor(const std::wstring& caption, long long timeoutMs, bool dialogsOnly,
                        HWND* found) {
        DWORD start = GetTickCount();
        for (;;) {
            *found = FindTopLevel(caption, dialogsOnly);
            if (*found != nullptr) return "";
            if (CrashBoxShown()) return "ERR crash: Program Error box";
            if (static_cast<long long>(GetTickCount() - start) >= timeoutMs) return "ERR timeout";
            Sleep(kPollMs);
        }
    }

    // WM_DPICHANGED carries a pointer to the suggested rectangle: it is
    // written into the target process.
    std::string dpiChanged(const Args& a) {
        if (current_ == nullptr || !IsWindow(current_)) return "ERR no current window";
        long long dpi = 0;
        if (a.words.empty() || !ParseNumber(a.words[0], &dpi) || dpi < 48 || dpi > 480)
            return "ERR usage: dpi-changed <dpi 48..480>";
        typedef UINT(WINAPI * GetDpiForWindowFn)(HWND);
        auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
        UINT from = getDpi != nullptr ? getDpi(current_) : 96;
        if (from == 0) from = 96;
        RECT rc;
        GetWindowRect(current_, &rc);
        rc.right = rc.left + MulDiv(rc.right - rc.left, static_cast<int>(dpi), static_cast<int>(from));
        rc.bottom = rc.top + MulDiv(rc.bottom - rc.top, static_cast<int>(dpi), static_cast<int>(from));
        DWORD pid = 0;
        GetWindowThreadProcessId(current_, &pid);
        HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
        if (process == nullptr) return "ERR cannot open the process";
        void* remote = VirtualAllocEx(process, nullptr, sizeof rc, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        std::string out = "ERR cannot write the rectangle";
        if (remote != nullptr && WriteProcessMemory(process, remote, &rc, sizeof rc, nullptr)) {
            LRESULT r = 0;
            out = Send(current_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote), &r)
                      ? "OK"
                      : "ERR busy";
        }
        if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        CloseHandle(process);
        return out;
    }

    std::string listViewText(HWND lv, int row, int col) {
        DWORD pid = 0;
        GetWindowThreadProcessId(lv, &pid);
        HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (proc == nullptr) return "ERR cannot open process";
        const SIZE_T chars = 1024;
        const SIZE_T size = sizeof(LVITEMW) + chars * sizeof(wchar_t);
        char* remote = static_cast<char*>(VirtualAllocEx(proc, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
        std::string answer = "ERR cannot reach list view";
        if (remote != nullptr) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = row;
            item.iSubItem = col;
            item.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(LVITEMW));
            item.cchTextMax = static_cast<int>(chars);
            std::vector<wchar_t> text(chars, L'\0');
            LRESULT n = 0;
            SIZE_T io = 0;
            if (WriteProcessMemory(proc, remote, &item, sizeof item, &io) &&
                Send(lv, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote), &n) &&
                ReadProcessMemory(proc, remote + sizeof(LVITEMW), text.data(), chars * sizeof(wchar_t), &io)) {
                text[chars - 1] = L'\0';
                answer = "OK " + Escape(ToUtf8(text.data()));
            }
            VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
        }
        CloseHandle(proc);
        return answer;
    }

    // Sets the selection state of list-view row `row` (-1: every row); the
    // LVITEM has to live in the list view's process.
    bool listViewSetSelected(HWND lv, int row, bool selected) {
        DWORD pid = 0;
        GetWindowThreadProcessId(lv, &pid);
        HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (proc == nullptr) return false;
        bool done = false;
        void* remote = VirtualAllocEx(proc, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE);
        if (remote != nullptr) {
            LVITEMW item = {};
            item.stateMask = LVIS_SELECTED;
            item.state = selected ? LVIS_SELECTED : 0;
            SIZE_T io = 0;
            LRESULT r = 0;
            done = WriteProcessMemory(proc, remote, &item, sizeof item, &io) &&
                   Send(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote), &r) &&
                   r != FALSE;
            VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
        }
        CloseHandle(proc);
        return done;
    }

    std::string listViewSelect(HWND lv, const std::string& rows) {
        if (!listViewSetSelected(lv, -1, false)) return "ERR cannot reach list view";
        if (rows == "none") return "OK";
        size_t pos = 0;
        while (pos <= rows.size()) {
            size_t comma = rows.find(',', pos);
            std::string one = rows.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            long long n = 0;
            if (!ParseNumber(one, &n) || n < 0) return "ERR bad row " + one;
            if (!listViewSetSelected(lv, static_cast<int>(n), true)) return "ERR no row " + one;
            if (comma == std::string::npos) break;
            pos = comma + 1;
        }
        return "OK";
    }

    // Clicks <button> and keeps asking the window whether it answers until
    // the list comes back. A non-answer runs from the sending of the first
    // message that was not answered in time to the answer of the next one
    // that was (or, for one late answer, from its sending to its answer).
    std::string watchSearch(const Args& a) {
        HWND button = nullptr;
        std::string err = control(a, 4, &button);
        if (!err.empty()) return err;
        long long listId = 0, rows = 0, timeout = 0;
        if (!ParseNumber(a.words[1], &listId) || !ParseNumber(a.words[2], &rows) ||
            !ParseNumber(a.words[3], &timeout))
            return "ERR usage: watch-search <button> <list> <rows> <timeout-ms>";
        HWND list = GetDlgItem(current_, static_cast<int>(listId));
        if (list == nullptr) return "ERR no control " + a.words[1];
        const double clicked = NowMs();
        PostMessageW(button, BM_CLICK, 0, 0);
        bool hidden = false;
        double longest = 0, silentSince = -1, listed = -1;
        int pings = 0, missed = 0;
        for (;;) {
            const double sent = NowMs();
            DWORD_PTR r = 0;
            const bool answered =
                SendMessageTimeoutW(current_, WM_NULL, 0, 0, SMTO_NORMAL, kPingTimeoutMs, &r) != 0;
            const double back = NowMs();
            ++pings;
            if (!answered) {
                ++missed;
                if (silentSince < 0) silentSince = sent;
            }
            const double from = silentSince >= 0 ? silentSince : sent;
            if (back - from > longest) longest = back - from;
            if (answered) {
                silentSince = -1;
                if (!IsWindowVisible(list)) {
                    hidden = true;
                } else if (hidden) {
                    LRESULT n = 0;
                    if (Send(list, LB_GETCOUNT, 0, 0, &n) && n >= rows) {
                        listed = NowMs() - clicked;
                        break;
                    }
                }
            }
            if (CrashBoxShown()) return "ERR crash: Program Error box";
            if (back - clicked > static_cast<double>(timeout)) break;
            const double spent = NowMs() - sent;
            if (spent < kPingIntervalMs) Sleep(static_cast<DWORD>(kPingIntervalMs - spent));
        }
        char out[128];
        std::snprintf(out, sizeof out, "%.0f %.0f %d %d", listed, longest, pings, missed);
        return listed < 0 ? std::string("ERR timeout ") + out : std::string("OK ") + out;
    }

    std::string menuText(UINT menuId, UINT itemId) {
        DWORD pid = 0;
        GetWindowThreadProcessId(current_, &pid);
        HANDLE proc = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (proc == nullptr) return "ERR cannot open process";
        wchar_t path[MAX_PATH] = {};
        DWORD len = MAX_PATH;
        BOOL named = QueryFullProcessImageNameW(proc, 0, path, &len);
        CloseHandle(proc);
        if (!named) return "ERR no program path";
        HMODULE image = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (image == nullptr) return "ERR cannot load " + ToUtf8(path);
        std::string answer = "ERR no menu " + std::to_string(menuId);
        HMENU menu = LoadMenuW(image, MAKEINTRESOURCEW(menuId));
        if (menu != nullptr) {
            wchar_t buf[256] = {};
            int n = GetMenuStringW(menu, itemId, buf, 256, MF_BYCOMMAND);
            answer = n > 0 ? "OK " + Escape(ToUtf8(std::wstring(buf, static_cast<size_t>(n))))
                           : "ERR no menu item " + std::to_string(itemId);
            DestroyMenu(menu);
        }
        FreeLibrary(image);
        return answer;
    }

    std::string handle(const std::string& line) {
        Args a = Split(line);
        const std::string& c = a.cmd;
        if (c == "windows") {
            std::vector<std::wstring> all;
            EnumWindows(ListProc, reinterpret_cast<LPARAM>(&all));
            std::string out;
            for (auto& w : all) out += (out.empty() ? "" : " | ") + ToUtf8(w);
            return "OK " + Escape(out);
        }
        if (c == "wait-window" || c == "wait-box" || c == "wait-gone") {
            std::wstring caption;
            long long timeout = 0;
            if (!CaptionAndNumber(a, &caption, &timeout)) return "ERR usage: " + c + " <caption> <ms>";
            if (c == "wait-gone") {
                DWORD start = GetTickCount();
                while (FindTopLevel(caption, false) != nullptr) {
                    if (CrashBoxShown()) return "ERR crash: Program Error box";
                    if (static_cast<long long>(GetTickCount() - start) >= timeout) return "ERR timeout";
                    Sleep(kPollMs);
                }
                return "OK";
            }
            HWND found = nullptr;
            std::string err = waitFor(caption, timeout, c == "wait-box", &found);
            if (!err.empty()) return err;
            if (c == "wait-window") {
                current_ = found;
                return "OK";
            }
            HWND text = GetDlgItem(found, 0xFFFF);
            std::wstring t;
            if (text == nullptr || !TextOf(text, &t)) return "ERR box without text";
            return "OK " + Escape(ToUtf8(t));
        }
        if (c == "answer-box") {
            std::wstring caption;
            long long button = 0;
            if (!CaptionAndNumber(a, &caption, &button)) return "ERR usage: answer-box <caption> <button-id>";
            HWND box = FindTopLevel(caption, true);
            if (box == nullptr) return "ERR no box";
            HWND b = GetDlgItem(box, static_cast<int>(button));
            if (b == nullptr) return "ERR no button " + std::to_string(button);
            PostMessageW(b, BM_CLICK, 0, 0);
            DWORD start = GetTickCount();
            while (IsWindow(box)) {
                if (GetTickCount() - start >= 3000) return "ERR box stays open";
                Sleep(kPollMs);
            }
            return "OK";
        }
        if (c == "rect") {
            if (current_ == nullptr || !IsWindow(current_)) return "ERR no current window";
            RECT r;
            GetWindowRect(current_, &r);
            return "OK " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                   std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
        }
        if (c == "menu-text") {
            if (current_ == nullptr || !IsWindow(current_)) return "ERR no current window";
            long long menuId = 0, itemId = 0;
            if (a.words.size() < 2 || !ParseNumber(a.words[0], &menuId) || !ParseNumber(a.words[1], &itemId))
                return "ERR usage: menu-text <menu-id> <item-id>";
            return menuText(static_cast<UINT>(menuId), static_cast<UINT>(itemId));
        }
        if (c == "settle") {
            // Before a screenshot: the window repaints what the last commands
            // changed, then has <ms> to finish drawing.
            if (current_ == nullptr || !IsWindow(current_)) return "ERR no current window";
            long long ms = 0;
            if (a.words.empty() || !ParseNumber(a.words[0], &ms) || ms < 0 || ms > 10000)
                return "ERR usage: settle <ms>";
            RedrawWindow(current_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Send(current_, WM_NULL, 0, 0, nullptr);
            Sleep(static_cast<DWORD>(ms));
            return "OK";
        }
        if (c == "dpi-changed") return dpiChanged(a);
        if (c == "watch-search") return watchSearch(a);
        if (c == "menu") {
            if (current_ == nullptr || !IsWindow(current_)) return "ERR no current window";
            long long id = 0;
            if (a.words.empty() || !ParseNumber(a.words[0], &id)) return "ERR usage: menu <id>";
            PostMessageW(current_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
            return "OK";
        }

        HWND ctl = nullptr;
        if (c == "exists") {
            std::string err = control(a, 1, &ctl);
            return err.empty() ? "OK 1" : err.rfind("ERR no control", 0) == 0 ? "OK 0" : err;
        }
        size_t need = (c == "list-text" || c == "list-data" || c == "list-select" ||
                       c == "listview-col-width")
                          ? 2
                      : c == "listview-text"                                      ? 3
                                                                                   : 1;
        std::string err = control(a, need, &ctl);
        if (!err.empty()) return err;
        long long row = 0, col = 0;
        if (need >= 2 && !ParseNumber(a.words[1], &row)) return "ERR bad row";
        if (need >= 3 && !ParseNumber(a.words[2], &col)) return "ERR bad column";
        LRESULT r = 0;

        if (c == "click") {
            PostMessageW(ctl, BM_CLICK, 0, 0);
            return "OK";
        }
        if (c == "key") {
            long long vk = 0;
            if (a.words.size() < 2 || !ParseNumber(a.words[1], &vk) || vk <= 0 || vk > 0xFE)
                return "ERR usage: key <id> <vk>";
            UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
            LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
            LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
            SetForegroundWindow(current_);
            PostMessageW(ctl, WM_KEYDOWN, static_cast<WPARAM>(vk), down);
            PostMessageW(ctl, WM_KEYUP, static_cast<WPARAM>(vk), up);
            return "OK";
        }
        if (c == "send-click") return Send(ctl, BM_CLICK, 0, 0, &r) ? "OK" : "ERR busy";
        if (c == "get-text") {
            std::wstring t;
            return TextOf(ctl, &t) ? "OK " + Escape(ToUtf8(t)) : "ERR busy";
        }
        if (c == "set-text") {
            size_t sp = a.rest.find(' ');
            std::wstring t = FromUtf8(Unescape(sp == std::string::npos ? "" : a.rest.substr(sp + 1)));
            return Send(ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()), &r) ? "OK" : "ERR busy";
        }
        if (c == "get-check") return Send(ctl, BM_GETCHECK, 0, 0, &r) ? "OK " + std::to_string(r) : "ERR busy";
        if (c == "is-enabled") return IsWindowEnabled(ctl) ? "OK 1" : "OK 0";
        if (c == "is-visible") return IsWindowVisible(ctl) ? "OK 1" : "OK 0";
        if (c == "get-class") return "OK " + Escape(ToUtf8(ClassOf(ctl)));
        if (c == "get-style") {
            char buf[32];
            std::snprintf(buf, sizeof buf, "OK 0x%08lX", static_cast<unsigned long>(GetWindowLongW(ctl, GWL_STYLE)));
            return buf;
        }
        if (c == "list-count") return Send(ctl, LB_GETCOUNT, 0, 0, &r) ? "OK " + std::to_string(r) : "ERR busy";
        if (c == "list-sel") return Send(ctl, LB_GETCURSEL, 0, 0, &r) ? "OK " + std::to_string(r) : "ERR busy";
        if (c == "list-sel-rows") {
            if (!Send(ctl, LB_GETSELCOUNT, 0, 0, &r) || r == LB_ERR) return "ERR not a multiple-selection list";
            std::vector<int> rows(static_cast<size_t>(r) + 1, 0);
            if (!Send(ctl, LB_GETSELITEMS, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(rows.data()), &r) ||
                r == LB_ERR)
                return "ERR busy";
            std::string out;
            for (LRESULT i = 0; i < r; ++i) out += (i ? "," : "") + std::to_string(rows[static_cast<size_t>(i)]);
            return "OK " + out;
        }
        if (c == "list-multi-select") {
            if (a.words.size() < 2) return "ERR usage: list-multi-select <id> <rows|none>";
            if (!Send(ctl, LB_SETSEL, FALSE, -1, &r) || r == LB_ERR) return "ERR not a multiple-selection list";
            if (a.words[1] != "none") {
                std::string rows = a.words[1];
                size_t pos = 0;
                while (pos <= rows.size()) {
                    size_t comma = rows.find(',', pos);
                    std::string one = rows.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
                    long long n = 0;
                    if (!ParseNumber(one, &n)) return "ERR bad row " + one;
                    if (!Send(ctl, LB_SETSEL, TRUE, static_cast<LPARAM>(n), &r) || r == LB_ERR) return "ERR no row " + one;
                    if (comma == std::string::npos) break;
                    pos = comma + 1;
                }
            }
            WPARAM wp = MAKEWPARAM(GetDlgCtrlID(ctl), LBN_SELCHANGE);
            return Send(current_, WM_COMMAND, wp, reinterpret_cast<LPARAM>(ctl), &r) ? "OK" : "ERR busy";
        }
        if (c == "list-data") {
            if (!Send(ctl, LB_GETITEMDATA, static_cast<WPARAM>(row), 0, &r)) return "ERR busy";
            return r == LB_ERR ? "ERR no row" : "OK " + std::to_string(r);
        }
        if (c == "list-text") {
            LONG style = GetWindowLongW(ctl, GWL_STYLE);
            if ((style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0 && (style & LBS_HASSTRINGS) == 0)
                return "ERR owner-drawn list without texts";
            if (!Send(ctl, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0, &r) || r == LB_ERR) return "ERR no row";
            std::vector<wchar_t> buf(static_cast<size_t>(r) + 2, L'\0');
            if (!Send(ctl, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buf.data()), &r) || r == LB_ERR)
                return "ERR no row";
            return "OK " + Escape(ToUtf8(std::wstring(buf.data(), static_cast<size_t>(r))));
        }
        if (c == "list-select") {
            if (!Send(ctl, LB_SETCURSEL, static_cast<WPARAM>(row), 0, &r)) return "ERR busy";
            if (r == LB_ERR && row != -1) return "ERR no row";
            WPARAM wp = MAKEWPARAM(GetDlgCtrlID(ctl), LBN_SELCHANGE);
            return Send(current_, WM_COMMAND, wp, reinterpret_cast<LPARAM>(ctl), &r) ? "OK" : "ERR busy";
        }
        if (c == "ctl-size") {
            RECT rc;
            if (!GetWindowRect(ctl, &rc)) return "ERR no rectangle";
            return "OK " + std::to_string(rc.right - rc.left) + " " + std::to_string(rc.bottom - rc.top);
        }
        if (c == "list-item-height")
            return Send(ctl, LB_GETITEMHEIGHT, 0, 0, &r) ? "OK " + std::to_string(r) : "ERR busy";
        if (c == "listview-col-width")
            return Send(ctl, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(row), 0, &r) ? "OK " + std::to_string(r)
                                                                                   : "ERR busy";
        if (c == "listview-count")
            return Send(ctl, LVM_GETITEMCOUNT, 0, 0, &r) ? "OK " + std::to_string(r) : "ERR busy";
        if (c == "listview-text") return listViewText(ctl, static_cast<int>(row), static_cast<int>(col));
        if (c == "listview-select") {
            if (a.words.size() < 2) return "ERR usage: listview-select <id> <rows|none>";
            return listViewSelect(ctl, a.words[1]);
        }
        if (c == "listview-sel-rows") {
            std::string out;
            LRESULT next = -1;
            for (int guard = 0; guard < 10000; ++guard) {
                if (!Send(ctl, LVM_GETNEXTITEM, static_cast<WPARAM>(next), LVNI_SELECTED, &r)) return "ERR busy";
                if (r < 0) break;
                out += (out.empty() ? "" : ",") + std::to_string(r);
                next = r;
            }
            return "OK " + out;
        }
        return "ERR unknown command " + c;
    }
};

}  // namespace

int main() {
    Driver().run();
    return 0;
}
