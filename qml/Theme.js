.pragma library
// Colours of the shell; text colours and sizes come from the root context.

var accent = "#2F6FEB"
var accentDark = "#1F4FB5"
var accentLight = "#E8F0FE"
var header = "#1E2A3A"
var side = "#F4F6F9"
var sideSelected = "#E3EBFA"
var border = "#D9DEE5"
var page = "#FFFFFF"
var muted = "#7A8494"
var danger = "#D93838"
var success = "#2E9E5B"
var warning = "#E59B17"
var info = "#2F6FEB"
var radius = 6
