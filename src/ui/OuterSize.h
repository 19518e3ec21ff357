#pragma once

class QWidget;

// Gives a top-level window its current size as its outer size, frame included, and
// centres it on the screen. The window system tells the frame only once the window is
// shown (a window manager adds one then, or none where there is no window manager): until
// then the client area has the whole size; when a frame becomes known, the client area
// gives up the frame's share and the window is centred again, once, unless its size has
// changed meanwhile (the user or the desktop resized it).
void keepOuterSize(QWidget* window);
