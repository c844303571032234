/* licence_page_text.c - prints the licence page of a running installer.
 *
 *   licence_page_text TITLE
 *
 * Waits for the installer's window (a dialog whose title starts with TITLE),
 * goes on from the welcome page with the Next button until a page with a
 * rich-text control shows, prints that control's text in UTF-8 on standard
 * output, and ends the installer. Fails when no such window or page comes
 * within 30 seconds. Reads the page as a user sees it, rather than the file
 * the installer was made from.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static const char* title;
static HWND installer;
static HWND rich_text;

static BOOL CALLBACK find_installer(HWND w, LPARAM unused) {
    char cls[64], text[256];
    (void)unused;
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    if (strcmp(cls, "#32770") == 0 && strncmp(text, title, strlen(title)) == 0 &&
        IsWindowVisible(w)) {
        installer = w;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK find_rich_text(HWND w, LPARAM unused) {
    char cls[64];
    (void)unused;
    GetClassNameA(w, cls, sizeof cls);
    if (_strnicmp(cls, "RichEdit", 8) == 0 && IsWindowVisible(w)) {
        rich_text = w;
        return FALSE;
    }
    return TRUE;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: licence_page_text TITLE\n");
        return 2;
    }
    title = argv[1];
    for (int k = 0; k < 300 && installer == NULL; ++k) {
        EnumWindows(find_installer, 0);
        if (installer == NULL) Sleep(100);
    }
    if (installer == NULL) {
        fprintf(stderr, "no installer window titled \"%s...\"\n", title);
        return 1;
    }
    /* Next (the dialog's button 1) at most once a second, until the page
     * with the rich-text control is shown. */
    for (int k = 0; k < 300 && rich_text == NULL; ++k) {
        EnumChildWindows(installer, find_rich_text, 0);
        if (rich_text != NULL) break;
        if (k % 10 == 9) {
            PostMessageA(installer, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED),
                         (LPARAM)GetDlgItem(installer, 1));
        }
        Sleep(100);
    }
    int status = 0;
    if (rich_text == NULL) {
        fprintf(stderr, "the installer showed no page with a rich-text control\n");
        status = 1;
    } else {
        /* The page fills its control after showing it. (The control is
         * another process's: GetWindowText would not ask it.) */
        int length = 0;
        for (int k = 0;
             k < 100 && (length = (int)SendMessageW(rich_text, WM_GETTEXTLENGTH, 0, 0)) == 0; ++k)
            Sleep(100);
        WCHAR* wide = (WCHAR*)calloc((size_t)length + 1, sizeof(WCHAR));
        const int got = (int)SendMessageW(rich_text, WM_GETTEXT, (WPARAM)length + 1, (LPARAM)wide);
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, got, NULL, 0, NULL, NULL);
        char* utf8 = (char*)malloc((size_t)bytes + 1);
        WideCharToMultiByte(CP_UTF8, 0, wide, got, utf8, bytes, NULL, NULL);
        fwrite(utf8, 1, (size_t)bytes, stdout);
        free(utf8);
        free(wide);
    }
    /* The installer is ended without asking (closing it would ask whether
     * to abort the installation). */
    DWORD pid = 0;
    GetWindowThreadProcessId(installer, &pid);
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (process != NULL) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
    return status;
}
