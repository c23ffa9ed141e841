# Checks the help file HELP_FILE: each topic that a window opens is an anchor
# (by name and by id), every link inside the file has its anchor, and the
# file needs nothing from outside itself.
if(NOT EXISTS "${HELP_FILE}")
  message(FATAL_ERROR "No help file at ${HELP_FILE}")
endif()
file(READ "${HELP_FILE}" text)

set(problems "")
foreach(topic Contents Installation Displaying_your_settings Settings_options
              Settings_messages Administer_Users Administer_statuses Administer_departments)
  string(FIND "${text}" "<a name=\"${topic}\" id=\"${topic}\">" at)
  if(at EQUAL -1)
    list(APPEND problems "no anchor for the topic ${topic}")
  endif()
endforeach()

string(REGEX MATCHALL "href=\"#[^\"]*\"" links "${text}")
list(REMOVE_DUPLICATES links)
foreach(link IN LISTS links)
  string(REGEX REPLACE "href=\"#([^\"]*)\"" "\\1" target "${link}")
  string(FIND "${text}" "name=\"${target}\"" at)
  if(at EQUAL -1)
    list(APPEND problems "the link to #${target} leads nowhere")
  endif()
endforeach()

foreach(outside "<script" "src=" "href=\"http" "@import" "url(")
  string(FIND "${text}" "${outside}" at)
  if(NOT at EQUAL -1)
    list(APPEND problems "the file reaches outside itself: ${outside}")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " report)
  message(FATAL_ERROR "${HELP_FILE}:\n  ${report}")
endif()
