#pragma once

#include <QString>
#include <vector>

namespace gui_test {

// Texts of the standard error boxes shown so far (the test program records them instead
// of showing them).
std::vector<QString>& ShownErrorBoxes();

// Captions and texts of the warning boxes shown so far, as "caption: text".
std::vector<QString>& ShownWarningBoxes();

}  // namespace gui_test
