#pragma once

// The lines both programs print after their name and version (--version).
namespace app {

inline constexpr const char* kCopyrightNotice =
    "Copyright (c) 2026 The RDS Encoder Q7 control program authors\n"
    "MIT License: free to use, change and pass on; no warranty.\n";

}  // namespace app
