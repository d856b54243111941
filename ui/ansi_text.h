#pragma once

#include <windows.h>

#include <string>

// The build names files in UTF-8; the message box shows ANSI text. A name the code page cannot
// spell shows the system's default character for each letter it lacks, never a look-alike.
std::string InAnsi(const std::string& utf8);

// The same in a code page given by the caller; InAnsi passes the system's ANSI code page.
std::string InCodePage(const std::string& utf8, UINT codePage);
