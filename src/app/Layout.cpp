// The main window's layout arithmetic in twips: the query box and the grid take the room.
#include "app/Layout.h"

namespace app {

namespace {

float verticalBudget(const Geometry& g) {
    return g.command1.top + 120 + g.command1.height + g.data1.height + 120;
}

} // namespace

bool largeEnough(const Geometry& g, float scaleWidth, float scaleHeight) {
    return g.file1.width + g.dir1.width + 2600 < scaleWidth && verticalBudget(g) < scaleHeight;
}

float minimumWidth(const Geometry& g) {
    return g.file1.width + g.dir1.width + 2600 + 1;
}

float minimumHeight(const Geometry& g) {
    return verticalBudget(g) + 1;
}

Geometry arrange(Geometry g, float scaleWidth, float scaleHeight) {
    g.dir1.top = 0;
    g.file1.top = 0;
    g.text1.top = 0;
    g.text1.width = scaleWidth - g.dir1.width - g.file1.width - 240;
    g.grid.width = scaleWidth - g.grid.left;
    g.grid.height = scaleHeight - g.command1.top - 120 - g.command1.height - g.data1.height - 120;
    g.data1.top = g.grid.height + g.grid.top + 120;
    g.data1.width = scaleWidth / 2 - 120;
    // Where the hidden saved-query list stands; direct display shares the query box's room instead.
    g.list1 = {g.text1.left, g.text1.top, g.text1.width, g.text1.height + 200};
    return g;
}

SharedRoom shareWithList(const Box& queryRoom) {
    const float half = queryRoom.height / 2;
    const Box list{queryRoom.left, queryRoom.top, queryRoom.width, half};
    return {list, {queryRoom.left, list.top + list.height, queryRoom.width, queryRoom.height - half}};
}

} // namespace app
