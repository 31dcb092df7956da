# tarnovelle_artwork paints every picture of the interface into resources/ from the panel
# geometry in settings/PanelGeometry.h. The pictures are committed, so a normal build never
# runs it. After changing the geometry or the drawing, regenerate them with:
#
#   cmake --build build --target tarnovelle_artwork && build/bin/tarnovelle_artwork resources
#
# It needs no display, only the DejaVu fonts in /usr/share/fonts/truetype/dejavu.
add_executable(tarnovelle_artwork "${CMAKE_CURRENT_LIST_DIR}/main_artwork.cpp")
target_include_directories(tarnovelle_artwork PRIVATE "${CMAKE_SOURCE_DIR}")
target_link_libraries(tarnovelle_artwork PRIVATE tarnovelle_juce_gui tarnovelle_warnings)
