// The product's version, "major.minor", from the build's project version.
#pragma once

#ifndef CC_VERSION_TEXT
#error "CC_VERSION_TEXT comes from the cc_base library's compile definitions"
#endif

constexpr const char* kVersionText = CC_VERSION_TEXT;
