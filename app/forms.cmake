# Included by app/CMakeLists.txt in the cross build: the installer's windows.
# ss_forms holds the application object and form blocks, the preparing window and the installer
# window, so that the tests can create the real forms in their own process.
add_library(ss_forms STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/WindowForm.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/PreparingWnd.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/InstallerForm.cpp)
target_include_directories(ss_forms PUBLIC ${SS_ROOT})
target_link_libraries(ss_forms PUBLIC ss_ui ss_winsys ss_package comctl32 gdi32 user32)

# The manifest resource; windres finds app.manifest beside forms.rc.
set(SS_FORMS_RC ${CMAKE_CURRENT_SOURCE_DIR}/forms.rc)
set_source_files_properties(${SS_FORMS_RC} PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/app.manifest)

set(SS_FORM_SOURCES ${SS_FORMS_RC})
set(SS_FORM_LIBS ss_forms)

# The start-up and install sequences and the picture loader: the stub's own
# flow, tying the windows to the package reader, Windows services and Flash.
add_library(ss_sequences STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/Sequences.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/PictureLoader.cpp)
target_include_directories(ss_sequences PUBLIC ${SS_ROOT})
target_link_libraries(ss_sequences PUBLIC ss_forms ss_reader ss_flash ss_winsys ss_ui ss_jpeg)
set(SS_FORM_LIBS ss_sequences)

# The same flow with the fault hooks compiled in (app/FaultSeam.h), for the
# test build of the installer only.
add_library(ss_sequences_faults STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/Sequences.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/PictureLoader.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/FaultSeam.cpp)
target_compile_definitions(ss_sequences_faults PRIVATE SS_FAULT_SEAM)
target_include_directories(ss_sequences_faults PUBLIC ${SS_ROOT})
target_link_libraries(ss_sequences_faults PUBLIC ss_forms ss_reader ss_flash ss_winsys ss_ui ss_jpeg)
