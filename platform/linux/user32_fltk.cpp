// Windows, controls, timers, fonts, colours and the message box on FLTK 1.3.
