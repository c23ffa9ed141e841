# Where the installed files go, and how the programs find their engine and
# help file there. Included before the layers, since the link paths of the
# programs are set when they are made.
#
#   bin/kiv, bin/kivctl             the programs
#   lib/<multiarch>/kiv/VBIS4032.DLL
#                                   the engine, a private library of the programs
#   share/kiv/kiv.hlp               the help file
#   share/applications, icons, metainfo, man, bash-completion
#                                   the desktop's data
#
# The programs find the others relative to their own folder, so an
# installation works wherever it is unpacked (a staging folder included).
include(GNUInstallDirs)

# The engine's folder is the programs' own, which nothing else links: kiv in
# the multiarch library folder (lib/x86_64-linux-gnu/kiv), lib/kiv where the
# system has none. Being below a library folder rather than in one, the engine
# is none of ldconfig's business, and the package has no maintainer scripts.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(KIV_INSTALL_ENGINEDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/kiv)
else()
  set(KIV_INSTALL_ENGINEDIR lib/kiv)
endif()
set(KIV_INSTALL_HELPDIR ${CMAKE_INSTALL_DATADIR}/kiv)

file(RELATIVE_PATH KIV_ENGINE_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${KIV_INSTALL_ENGINEDIR})
file(RELATIVE_PATH KIV_HELP_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/kiv)

# In the build tree the programs and the engine share one folder; once
# installed the engine is in its private folder. The dynamic loader's search
# for the engine's bare name follows this RUNPATH.
set(CMAKE_BUILD_RPATH "\$ORIGIN")
set(CMAKE_INSTALL_RPATH "\$ORIGIN/${KIV_ENGINE_FROM_PROGRAM}")
add_link_options(-Wl,--enable-new-dtags)

configure_file(${CMAKE_CURRENT_LIST_DIR}/KivLayout.h.in ${CMAKE_BINARY_DIR}/generated/KivLayout.h @ONLY)
