.pragma library
// The vendor's pages. Only the path and query of the update page are fixed.

var host = "https://www.kalvinor.com/"
var supportPage = host + "support/"
var webSite = host

function updatePage(uid, verid) {
    return host + "check_update.php?pid=" + uid + "&ver=" + verid
}
