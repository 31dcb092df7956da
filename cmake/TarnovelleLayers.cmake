# How the project's libraries are put together.
#
# Each layer (tarnovelle_core, tarnovelle_emulator, tarnovelle_gui) lists its files folder by
# folder with tarnovelle_layer_files: a new file is one more name on its folder's line, and the
# line it goes on is a decision about its layer, not a consequence of its name. (A glob would
# pick up a new file silently, and in the wrong layer whenever a folder holds more than one.)
#
# A layer's users do not get the source tree as include path. Instead each layer gets a folder
# of its own in the build tree holding links to the headers it lists, in their source folders
# (layers/tarnovelle_core/app/HWDetector.h and so on), and exposes that folder. So
# #include "emulator/EmulatedInstrument.h" compiles in the emulator, the tests and the demo,
# and fails in the core and the interface, which do not link the emulator.

# The JUCE modules named, compiled into the static library `target`, which exposes only them
# (through links in the build tree) together with what the libraries it links expose.
function(tarnovelle_juce_modules target)
    # Links to the module folders themselves (CREATE_LINK replaces an earlier link).
    set(modules_dir "${PROJECT_BINARY_DIR}/layers/${target}")
    file(MAKE_DIRECTORY "${modules_dir}")

    set(sources "")
    set(definitions "")
    foreach(module IN LISTS ARGN)
        file(CREATE_LINK "${JUCE_MODULES_DIR}/${module}" "${modules_dir}/${module}" SYMBOLIC)
        list(APPEND sources "${JUCE_MODULES_DIR}/${module}/${module}.cpp")
        list(APPEND definitions "JUCE_MODULE_AVAILABLE_${module}=1")
    endforeach()

    add_library(${target} STATIC ${sources})
    # The modules' own sources include their neighbours from the real modules folder.
    target_include_directories(${target} SYSTEM PRIVATE "${JUCE_MODULES_DIR}")
    target_include_directories(${target} SYSTEM PUBLIC "$<BUILD_INTERFACE:${modules_dir}>")
    target_compile_definitions(${target} PUBLIC ${TARNOVELLE_JUCE_DEFINITIONS} ${definitions})
    target_compile_features(${target} PUBLIC cxx_std_17)
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    # JUCE's own code is not ours to warn about.
    target_compile_options(${target} PRIVATE -w)
endfunction()

# Adds the files named, all in `folder` of the source tree, to the layer `target`: each .cpp is
# compiled, and its header (when it has one) exposed; a header named alone is exposed as well.
function(tarnovelle_layer_files target folder)
    set(layer_dir "${PROJECT_BINARY_DIR}/layers/${target}")
    get_target_property(exposed ${target} TARNOVELLE_LAYER_DIR)
    if(NOT exposed)
        # The first files of this layer: links from an earlier configuration may be stale.
        file(REMOVE_RECURSE "${layer_dir}")
        set_target_properties(${target} PROPERTIES TARNOVELLE_LAYER_DIR "${layer_dir}")
        target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${layer_dir}>")
    endif()
    file(MAKE_DIRECTORY "${layer_dir}/${folder}")

    foreach(name IN LISTS ARGN)
        set(source "${PROJECT_SOURCE_DIR}/${folder}/${name}")
        if(NOT EXISTS "${source}")
            message(FATAL_ERROR "${target}: ${folder}/${name} does not exist")
        endif()

        get_filename_component(stem "${name}" NAME_WLE)
        get_filename_component(extension "${name}" LAST_EXT)
        set(header "")
        if(extension STREQUAL ".cpp")
            target_sources(${target} PRIVATE "${source}")
            if(EXISTS "${PROJECT_SOURCE_DIR}/${folder}/${stem}.h")
                set(header "${stem}.h")
            endif()
        elseif(extension STREQUAL ".h")
            set(header "${name}")
        else()
            message(FATAL_ERROR "${target}: ${folder}/${name} is neither a .cpp nor a .h file")
        endif()

        if(header)
            file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}/${header}" "${layer_dir}/${folder}/${header}" SYMBOLIC)
        endif()
    endforeach()
endfunction()
