// The product version: the one place every program's version resource,
// the console's Info text and manifest, the release packages and the help
// file take it from. Plain defines, so resource scripts and the build's
// scripts read it too.
#pragma once

#define NX_VERSION_TEXT      "1.0.0.6"
#define NX_FILEVERSION       1,0,0,6
