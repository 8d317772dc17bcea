/*
 * contract_host: a host written against nothing but the data channel's
 * Windows contract, to drive SkinVELQ.exe the way any third-party host
 * would. It shares no code with the project.
 *
 *   contract_host.exe --slots N [--set K=VALUE]... [--mode post|send|broadcast]
 *                     [--frames F] [--rate HZ] [--suffix S]
 *                     [--launch PROGRAM SKIN [--wait MS] [--close]]
 *
 * It creates the file mapping "Mem_Map_File-{1F881A4D-B28F-48ad-9175-
 * 5394579326EA}" of 4*(N+1) bytes, writes the given slots (32-bit floats,
 * slot K at byte 4*K; the others 0), registers the window message
 * "UWM_DATA_READY_MSG-{...}" and, F times at HZ frames per second, rewrites
 * the slots and delivers the message: posted to the window of class
 * "TSkinForm" (post), sent to it with SendMessage (send), or posted to
 * every top-level window (broadcast); WPARAM is the frame number, LPARAM 0.
 * --suffix appends S to both names (a test run's own channel). --launch
 * starts PROGRAM with the one argument SKIN in the current folder before the
 * first frame; after the last one it waits up to MS milliseconds (default
 * 0) for it to end, first asking its window to close when --close is
 * given. The mapping stays open all along.
 *
 * Prints "delivered D of F frames". Exit status: the dashboard's exit code
 * when it was launched and has ended; 124 when it was still running after
 * the wait (it is then ended); otherwise 0; 1 when the system refused
 * something; 2 for a bad command line.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_SETS 256

static const char* const kMapName = "Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}";
static const char* const kMessageName = "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}";

static int Usage(const char* problem) {
  fprintf(stderr, "contract_host: %s\n", problem);
  fprintf(stderr,
          "usage: contract_host --slots N [--set K=VALUE]... [--mode post|send|broadcast] [--frames F]\n"
          "                     [--rate HZ] [--suffix S] [--launch PROGRAM SKIN [--wait MS] [--close]]\n");
  return 2;
}

static int Fail(const char* what) {
  fprintf(stderr, "contract_host: %s failed, system error %lu\n", what, (unsigned long)GetLastError());
  return 1;
}

static int ParseLong(const char* text, long* value) {
  char* end = NULL;
  *value = strtol(text, &end, 10);
  return end != text && *end == '\0';
}

/* Delivers one data-ready message; 1 when a window took it. */
static int Deliver(const char* mode, UINT message, WPARAM frame) {
  HWND window;
  if (strcmp(mode, "broadcast") == 0) return PostMessageA(HWND_BROADCAST, message, frame, 0) != 0;
  window = FindWindowA("TSkinForm", NULL);
  if (!window) return 0;
  if (strcmp(mode, "send") == 0) {
    SendMessageA(window, message, frame, 0);
    return 1;
  }
  return PostMessageA(window, message, frame, 0) != 0;
}

static BOOL CALLBACK CloseSkinWindow(HWND window, LPARAM processId) {
  DWORD owner = 0;
  char className[32];
  GetWindowThreadProcessId(window, &owner);
  if (owner == (DWORD)processId && GetClassNameA(window, className, sizeof className) &&
      strcmp(className, "TSkinForm") == 0)
    PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

int main(int argc, char** argv) {
  long slots = -1, frames = 1, waitMs = 0, setSlot[MAX_SETS];
  float setValue[MAX_SETS];
  int sets = 0, closeWindow = 0, i;
  double rate = 30;
  const char *mode = "post", *suffix = "", *program = NULL, *skin = NULL;
  char mapName[512], messageName[512], commandLine[2048];
  HANDLE mapping;
  float* view;
  UINT message;
  PROCESS_INFORMATION child;
  long delivered = 0, frame;
  ULONGLONG start;

  for (i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : NULL;
    if (strcmp(arg, "--close") == 0) {
      closeWindow = 1;
      continue;
    }
    if (!value) return Usage("an option lacks its value");
    ++i;
    if (strcmp(arg, "--slots") == 0) {
      if (!ParseLong(value, &slots) || slots < 0 || slots > 100000) return Usage("bad --slots");
    } else if (strcmp(arg, "--set") == 0) {
      const char* eq = strchr(value, '=');
      char* end = NULL;
      if (!eq || sets == MAX_SETS) return Usage("bad --set (K=VALUE)");
      setSlot[sets] = strtol(value, &end, 10);
      if (end != eq) return Usage("bad slot in --set");
      setValue[sets] = strtof(eq + 1, &end);
      if (end == eq + 1 || *end != '\0') return Usage("bad value in --set");
      ++sets;
    } else if (strcmp(arg, "--mode") == 0) {
      if (strcmp(value, "post") && strcmp(value, "send") && strcmp(value, "broadcast")) return Usage("bad --mode");
      mode = value;
    } else if (strcmp(arg, "--frames") == 0) {
      if (!ParseLong(value, &frames) || frames < 0) return Usage("bad --frames");
    } else if (strcmp(arg, "--rate") == 0) {
      rate = atof(value);
      if (!(rate > 0)) return Usage("bad --rate");
    } else if (strcmp(arg, "--wait") == 0) {
      if (!ParseLong(value, &waitMs) || waitMs < 0) return Usage("bad --wait");
    } else if (strcmp(arg, "--suffix") == 0) {
      suffix = value;
    } else if (strcmp(arg, "--launch") == 0) {
      if (i + 1 >= argc) return Usage("--launch needs PROGRAM and SKIN");
      program = value;
      skin = argv[++i];
    } else {
      return Usage("unknown option");
    }
  }
  if (slots < 0) return Usage("--slots is required");
  for (i = 0; i < sets; ++i)
    if (setSlot[i] < 0 || setSlot[i] > slots) return Usage("--set names a slot outside 0..N");
  if (strlen(suffix) > 200) return Usage("--suffix too long");
  snprintf(mapName, sizeof mapName, "%s%s", kMapName, suffix);
  snprintf(messageName, sizeof messageName, "%s%s", kMessageName, suffix);

  mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, (DWORD)(4 * (slots + 1)), mapName);
  if (!mapping) return Fail("CreateFileMappingA");
  if (GetLastError() == ERROR_ALREADY_EXISTS) fprintf(stderr, "contract_host: the mapping existed already\n");
  view = (float*)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (!view) return Fail("MapViewOfFile");
  memset(view, 0, (size_t)(4 * (slots + 1)));
  message = RegisterWindowMessageA(messageName);
  if (!message) return Fail("RegisterWindowMessageA");

  memset(&child, 0, sizeof child);
  if (program) {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (strchr(program, '"') || strchr(skin, '"') || strlen(program) + strlen(skin) > 2000)
      return Usage("PROGRAM and SKIN must be plain names");
    snprintf(commandLine, sizeof commandLine, "\"%s\" \"%s\"", program, skin);
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child))
      return Fail("CreateProcessA");
    CloseHandle(child.hThread);
  }

  start = GetTickCount64();
  for (frame = 0; frame < frames; ++frame) {
    ULONGLONG due, now;
    for (i = 0; i < sets; ++i) view[setSlot[i]] = setValue[i];
    delivered += Deliver(mode, message, (WPARAM)frame);
    if (program && WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0) break;
    due = start + (ULONGLONG)((double)(frame + 1) * 1000.0 / rate);
    while ((now = GetTickCount64()) < due) Sleep((DWORD)(due - now));
  }
  printf("delivered %ld of %ld frames\n", delivered, frames);
  fflush(stdout);

  if (program) {
    DWORD code = 0;
    if (closeWindow) EnumWindows(CloseSkinWindow, (LPARAM)child.dwProcessId);
    if (WaitForSingleObject(child.hProcess, (DWORD)waitMs) != WAIT_OBJECT_0) {
      fprintf(stderr, "contract_host: the dashboard still runs; ending it\n");
      TerminateProcess(child.hProcess, 124);
      WaitForSingleObject(child.hProcess, INFINITE);
      return 124;
    }
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return (int)code;
  }
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return 0;
}
