#pragma once
// The platform's kernel-streaming headers, for the layout checks only.
// ksmedia.h uses a few user-mode types (its video and wave structures) that
// the kernel headers do not define; they are given here with the platform's
// own definitions, and mmreg.h supplies the wave format.
#include "wdm_platform.h"

#include <ks.h>

typedef float FLOAT;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef DWORD COLORREF;
typedef WCHAR TCHAR;
typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;
typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE;
typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

#include <mmreg.h>
#include <ksmedia.h>
