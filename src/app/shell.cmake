# SPDX-License-Identifier: GPL-3.0-or-later
# The GTK half of the application shell: the delegate, its actions, document opening and the
# executable, which sits at the top of the build tree beside its resource folder.
add_library(fennelview_shell STATIC
  app_delegate.cpp
  app_actions.cpp
  document_controller.cpp)
target_link_libraries(fennelview_shell PUBLIC fennelview_app_core fennelview_window)

add_executable(fennelview main.cpp)
target_link_libraries(fennelview PRIVATE fennelview_shell)
set_target_properties(fennelview PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
add_dependencies(fennelview fennelview_template)
