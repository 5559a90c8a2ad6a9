// The main window's layout arithmetic in twips: the query box and the grid take the room.
#pragma once

namespace app {

// Left, top, width and height of a control, in twips.
struct Box {
    float left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Box&) const = default;
};

// The controls the layout reads or moves.
struct Geometry {
    Box dir1{0, 0, 1695, 1440};
    Box drive1{0, 1520, 1695, 315};
    Box file1{1800, 0, 1695, 1845};
    Box text1{3600, 0, 6855, 1800};
    Box command1{0, 1820, 2535, 315};
    Box command2{2535, 1820, 1575, 315};
    Box command3{4095, 1820, 1575, 315};
    Box list1{6600, 1800, 1215, 450};
    Box grid{50, 2160, 10455, 6015};
    Box data1{0, 8280, 4620, 345};
};

// The client size the window is designed for, in twips.
inline constexpr float designWidth = 10575;
inline constexpr float designHeight = 8640;

// Whether a client area of this size holds the layout: the two lists and room for the query box
// across, the button row, the data source bar and their margins down.
bool largeEnough(const Geometry& g, float scaleWidth, float scaleHeight);

// The smallest client size, in twips, at which largeEnough holds (with a twip to spare).
float minimumWidth(const Geometry& g);
float minimumHeight(const Geometry& g);

// Fits the query box, the grid, the data source bar and the saved-query list to the client area.
// The lists, the drive list and the buttons keep their place. Call only when largeEnough.
Geometry arrange(Geometry g, float scaleWidth, float scaleHeight);

// Direct display: the saved-query list and the query box share the room the query box has alone,
// the list in the upper half and the box in the lower one.
struct SharedRoom {
    Box list1;
    Box text1;
};
SharedRoom shareWithList(const Box& queryRoom);

} // namespace app
