// How the framework library's classes cross its boundary on POSIX systems,
// and what its files are: descriptors.
#ifndef QUORVAN_POSIX_AFXDLL_H
#define QUORVAN_POSIX_AFXDLL_H

#define AFX_API __attribute__((visibility("default")))

typedef int AFX_FILE_HANDLE;  // a file descriptor

#endif
