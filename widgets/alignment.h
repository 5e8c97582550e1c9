#pragma once

// Horizontal text alignment, shared by the edits and the grid.
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
