# Packs the sprites that spritepaint painted into base.dat with Allegro's dat tool; the build runs
#   cmake -DDAT=dat -DSPRITE_DIR=sprites -DBASE_DAT=base.dat -P pack_datafile.cmake
# The painter lists the objects it painted ("Enemy/RedAlien"), one a line, in SPRITE_DIR/objects:
# each folder of them becomes a nested datafile of the same name. base.dat is deleted first because
# `dat -a` adds to an existing file. -s1 leaves out what only Allegro's grabber reads, among it
# each sprite file's time (DATE) and path (ORIG): two builds give the same base.dat.
file(STRINGS "${SPRITE_DIR}/objects" objects)
if(NOT objects)
    message(FATAL_ERROR "the painter listed no sprites in ${SPRITE_DIR}/objects")
endif()
set(folders)
foreach(object IN LISTS objects)
    string(REGEX REPLACE "/.*" "" folder "${object}")
    list(APPEND folders ${folder})
endforeach()
list(REMOVE_DUPLICATES folders)

file(REMOVE "${BASE_DAT}")
execute_process(COMMAND "${DAT}" "${BASE_DAT}" -k -s1 -t DATA -r -a ${folders}
    WORKING_DIRECTORY "${SPRITE_DIR}" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "dat could not pack ${BASE_DAT}: ${failed}")
endif()
