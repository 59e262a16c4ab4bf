#pragma once

class QTreeView;

namespace fiscora {

// A one-column tree whose lines wrap at its width, each row as high as its text needs, instead
// of being cut short; the rows follow when the tree is resized.
void wrapTreeLines(QTreeView* tree);

} // namespace fiscora
