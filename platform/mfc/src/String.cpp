#include <afxwin.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

int CString::Find(char c, int start) const {
    const size_t at = text_.find(c, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

void CString::Format(LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> buffer(static_cast<size_t>(needed > 0 ? needed : 0) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    text_.assign(buffer.data());
}

BOOL CString::LoadString(UINT id) {
    char buffer[4096];
    const int n = ::LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof buffer);
    text_.assign(buffer, static_cast<size_t>(n > 0 ? n : 0));
    return n > 0;
}
