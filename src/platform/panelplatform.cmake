# Interfaces of the panel's platform services (QtCore only), kept apart from the clipboard's.
target_sources(corvane_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/inputdevicestate.cpp ${CMAKE_CURRENT_LIST_DIR}/inputdevicestate.h
    ${CMAKE_CURRENT_LIST_DIR}/pastekeystrokeposter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pastekeystrokeposter.h)

# The panel's X11 services, in the X11 backend's library: XTest for the paste keystroke,
# pointer and keyboard queries for the drag poll.
find_package(X11 REQUIRED COMPONENTS Xtst)
target_sources(corvane_platform_x11 PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/x11/x11inputdevicestate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/x11/x11inputdevicestate.h
    ${CMAKE_CURRENT_LIST_DIR}/x11/x11pastekeystrokeposter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/x11/x11pastekeystrokeposter.h)
target_link_libraries(corvane_platform_x11 PRIVATE X11::Xtst)
