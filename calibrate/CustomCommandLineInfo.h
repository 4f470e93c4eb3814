// The calibrator's command line: the library file, then optionally the
// model name, taken in order whatever they look like.
#pragma once

#include <afxwin.h>

class CCustomCommandLineInfo : public CCommandLineInfo {
public:
    void ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast) override;

    CString m_libraryFile;
    CString m_modelName;

private:
    int count_ = 0;
};
