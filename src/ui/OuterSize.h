#pragma once

class QWidget;

// The window system tells a top-level window's frame only once the window is shown (a
// window manager adds one then, or none where there is no window manager); until then a
// window's outer size is taken to be its client area's. Both calls place the window
// before it is first shown: a window manager then frames it at that place and moves its
// client area in, which tells the window its frame.

// Gives a top-level window its current size as its outer size, frame included, and
// centres it on the screen: until the frame is known the client area has the whole size;
// when a frame becomes known, the client area gives up the frame's share and the window is
// centred again, once, unless its size has changed meanwhile (the user or the desktop
// resized it).
void keepOuterSize(QWidget* window);

// Centres a top-level window of a fixed client size (a box) on the screen by its outer
// size: now, with what is known of its frame, and again, once, when a frame becomes known.
// Called once the box has its final size and before it is first shown.
void centreByOuterSize(QWidget* window);
