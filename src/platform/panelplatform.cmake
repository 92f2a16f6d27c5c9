# Interfaces of the panel's platform services (QtCore only), kept apart from the clipboard's.
target_sources(corvane_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/inputdevicestate.cpp ${CMAKE_CURRENT_LIST_DIR}/inputdevicestate.h
    ${CMAKE_CURRENT_LIST_DIR}/pastekeystrokeposter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pastekeystrokeposter.h)
