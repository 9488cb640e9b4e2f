// A Windows program that holds a file open without sharing until it is ended, as a running
// program of the installed suite does: the tests of the checks before an update's first change
// start it under Wine. usage: holder.exe FILE READY (READY is created once FILE is held)
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 64;
  const HANDLE file =
      CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  char byte = 0;
  DWORD got = 0;
  ReadFile(file, &byte, 1, &got, nullptr);
  CloseHandle(
      CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  Sleep(INFINITE);
  return 0;
}
