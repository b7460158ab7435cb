// The one application object of the Windows program.
#include "app/app.h"

CJoinApp theApp;
