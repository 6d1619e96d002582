// Runs once in every document of the page when it has loaded. The search text is looked for as one
// phrase in the text as the page shows it: white space collapsed, block boundaries and line breaks
// ending a phrase, hidden elements, scripts and text areas left out. Each match is wrapped, piece by
// piece where it crosses elements, in spans holding the page's own text nodes, drawn in black or white on
// the highlight colour, whichever contrasts with it.
(function(p) {
'use strict';
var doc = document;
if (window === window.top && doc.body) doc.body.style.borderStyle = 'none';
if (!p.highlight || !doc.body || window.frames.length > 0) return;

var skipped = {
    SCRIPT : 1,
    STYLE : 1,
    NOSCRIPT : 1,
    TEXTAREA : 1,
    TITLE : 1,
    TEMPLATE : 1,
    SELECT : 1,
    IFRAME : 1,
    FRAME : 1,
    OBJECT : 1,
    SVG : 1
};
var chars = [], where = [], lastSpace = true;
function boundary() {
    if (chars.length && chars[chars.length - 1] !== '\n') {
        chars.push('\n');
        where.push(null);
    }
    lastSpace = true;
}
function walk(element) {
    for (var n = element.firstChild; n; n = n.nextSibling) {
        if (n.nodeType === 3) {
            var t = n.data;
            for (var i = 0; i < t.length; i++) {
                if (/\s/.test(t[i])) {
                    if (!lastSpace) {
                        chars.push(' ');
                        where.push([ n, i ]);
                        lastSpace = true;
                    }
                } else {
                    chars.push(t[i]);
                    where.push([ n, i ]);
                    lastSpace = false;
                }
            }
        } else if (n.nodeType === 1) {
            var tag = n.tagName.toUpperCase();
            if (skipped[tag] || tag === 'BR') {
                boundary();
                continue;
            }
            var display = window.getComputedStyle(n).display;
            if (display === 'none') continue;
            var block = display.indexOf('inline') !== 0 && display !== 'contents';
            if (block) boundary();
            walk(n);
            if (block) boundary();
        }
    }
}
walk(doc.body);

function fold(s) {
    if (p.matchCase) return s;
    var r = '';
    for (var i = 0; i < s.length; i++) {
        var l = s[i].toLowerCase();
        r += l.length === 1 ? l : s[i];
    }
    return r;
}
var word = /[\p{L}\p{N}_]/u;
var hay = fold(chars.join('')), needle = fold(p.text);
var matches = [], from = 0, k;
while (needle.length && (k = hay.indexOf(needle, from)) >= 0) {
    var e = k + needle.length;
    if (p.wholeWord && ((k > 0 && word.test(chars[k - 1])) || (e < chars.length && word.test(chars[e])))) {
        from = k + 1;
        continue;
    }
    matches.push([ k, e ]);
    from = e;
}

function wrap(node, a, b) {
    if (b < node.data.length) node.splitText(b);
    var piece = a > 0 ? node.splitText(a) : node;
    var span = doc.createElement('span');
    // The page's own colours (a dark heading, a navy link) would sink into the background; its style
    // sheets must not win over either colour.
    span.style.setProperty('background-color', '#' + p.colour, 'important');
    span.style.setProperty('color', '#' + p.textColour, 'important');
    piece.parentNode.insertBefore(span, piece);
    span.appendChild(piece);
}
// Last match first, and within a match the last piece first: splitting a text node keeps its head in
// the same node, so the positions still to be wrapped stay valid.
for (var m = matches.length - 1; m >= 0; m--) {
    var pieces = [];
    for (var c = matches[m][0]; c < matches[m][1]; c++) {
        var w = where[c];
        if (!w) continue;
        var last = pieces[pieces.length - 1];
        if (last && last.node === w[0])
            last.end = w[1] + 1;
        else
            pieces.push({node : w[0], start : w[1], end : w[1] + 1});
    }
    for (var q = pieces.length - 1; q >= 0; q--) {
        try {
            wrap(pieces[q].node, pieces[q].start, pieces[q].end);
        } catch (err) { /* leave this piece */
        }
    }
}
})(__PARAMETERS__);
