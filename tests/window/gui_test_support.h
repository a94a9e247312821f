#pragma once

#include <QString>
#include <vector>

namespace gui_test {

// Texts of the standard error boxes shown so far (the test program records them instead
// of showing them).
std::vector<QString>& ShownErrorBoxes();

// The other message boxes shown so far, as "Warning caption: text" or "Error caption: text".
std::vector<QString>& ShownMessageBoxes();

}  // namespace gui_test
