// No document of the user's: the one the pane has left while its successor has not arrived,
// the engine's error page, or the empty document a new render process starts with.
window.lexhaulLeft || location.protocol === 'chrome-error:' || location.href === 'about:blank'
