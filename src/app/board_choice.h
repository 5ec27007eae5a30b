#pragma once
// The start window's link to the board choice: the chooser of Connection ▸ USB Board when
// several boards are attached, the open board's name in the titles, and what a replay shows.
#include <functional>

#include "app/start_window.h"
#include "board/board_selection.h"
#include "support/messages.h"

namespace evkit::app {

// `transport` gives the current base transport (it changes when a new board ID is chosen).
void connectBoardChoice(StartWindow& start, const BoardSelection& selection,
                        std::function<F32x*()> transport, Messages& messages);

}  // namespace evkit::app
