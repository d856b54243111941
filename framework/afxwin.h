#pragma once

// Everything a program of this framework includes.
#include "framework/cmdtarget.h"
#include "framework/dialog.h"
#include "framework/listctrl.h"
#include "framework/paintdc.h"
#include "framework/winapp.h"
#include "framework/wnd.h"
