#pragma once
// Resource identifiers compiled into the launcher. Dialog templates and PNG
// images are added here by the window toolkit.
#define IDR_LAUNCHER_MANIFEST 1
