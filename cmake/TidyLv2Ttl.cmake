# Run as a script after JUCE writes the bundle's Turtle files: corrects the few statements that
# LV2's schemas reject (a plug-in that is not a doap:Project, a feature listed as extension data,
# an undeclared program property, an empty author mailbox). Parameters keep their
# lv2:portProperty hints because hosts read enumeration and toggled from there.
# Usage: cmake -DBUNDLE=<dir> -DURI=<plugin uri> -P TidyLv2Ttl.cmake
function(replace_in file from to)
    file(READ "${file}" text)
    string(REPLACE "${from}" "${to}" text "${text}")
    file(WRITE "${file}" "${text}")
endfunction()

set(dsp "${BUNDLE}/dsp.ttl")
set(ui "${BUNDLE}/ui.ttl")
file(READ "${dsp}" dsp_text)
if(dsp_text MATCHES "doap:Project")
    return() # already tidied
endif()

replace_in("${dsp}" "\ta lv2:InstrumentPlugin ;" "\ta lv2:InstrumentPlugin , doap:Project ;")
replace_in("${dsp}" "\t\tfoaf:mbox <> ;\n" "")
file(APPEND "${dsp}" "\n<${URI}:Program>\n\ta rdf:Property ;\n\trdfs:label \"Program\" .\n")

replace_in("${ui}" "\t\topts:interface ,\n\t\tui:noUserResize ,\n\t\tui:resize ;" "\t\topts:interface ,\n\t\tui:resize ;")
replace_in("${ui}" "\t\tui:noUserResize ,\n\t\topts:interface ,\n\t\topts:options ;" "\t\tui:noUserResize ,\n\t\topts:options ;")
