.pragma library
// The vendor's pages. The update page lies on the update endpoint, a build
// setting that the program hands over as UPDATE_ENDPOINT; only its path and
// query are fixed.

var host = "https://www.kalvinor.com/"
var supportPage = host + "support/"
var webSite = host

function updatePage(endpoint, uid, verid) {
    return endpoint + "check_update.php?pid=" + uid + "&ver=" + verid
}
