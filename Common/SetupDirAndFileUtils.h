// Folder and file operations that outlast brief interference: another process may hold a file or
// folder for a moment, so making and deleting retry for up to 30 seconds, 5 seconds apart.
// Each returns 1 on success and 0 on failure.
#pragma once

int MyDoesDirExist(const char* pszDir);
int MyCreateDir(const char* path);
int MyDeleteDir(const char* pszDir);
int MyDeleteFile(const char* pszFile);
