// What the page and the module say to each other, numbered once: the
// operations of a batch of the dialog's view, the page's actions in the
// dialog, the fields of the settings handed with every batch, and the
// pictures a worker holds. web/tools/page_model.cpp writes them, with the
// settings model, into the page's model.js when the page is built.
#pragma once

namespace vantrel::web {

// Operations of a batch, as the page applies them.
enum class ViewOp : int { Checked = 1, Enabled, InsertRow, SelectRow, Text, Focus, Hand };

// What the page did in the dialog, as the controller takes it.
enum class PageAction : int { Ok = 1, Cancel, Press, Toggle, PickRow, Down, Move, Up, DoubleClick };

// The settings handed with every batch, in this order: the order, the blend
// method (BlendMethod), the channel cleared (or kNoChannelCleared) and the
// preview's zoom factor.
enum class SettingsField : int { Order, Blend, Cleared, Zoom, Count };

// The pictures a worker holds: the one opened, its thumbnail for the grid,
// and one a batch converts.
enum class Held : int { Picture, Thumbnail, Batch, Count };

}  // namespace vantrel::web
