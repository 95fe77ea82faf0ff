#include "download/CustomInstanceID.h"

#include <windows.h>

namespace {
volatile LONG g_lastInstanceId = 0;
}

CCustomInstanceID::CCustomInstanceID() : id_(::InterlockedIncrement(&g_lastInstanceId)) {}
