# The application the user pastes into and types in: one text field with the focus, whose
# text is written to the file named by the first argument whenever it changes.
set output [lindex $argv 0]
wm title . Target
wm geometry . 600x80+200+200
entry .field -textvariable content -width 60
pack .field -fill x -padx 10 -pady 20
focus .field
proc save {args} {
    set file [open $::output w]
    fconfigure $file -encoding utf-8
    puts -nonewline $file $::content
    close $file
}
set content ""
trace add variable content write save
save
