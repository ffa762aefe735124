// Writes out the document element the way the program's page readers expect:
// element names as the DOM's tagName (upper case for HTML), attribute names as
// they are with values in double quotes, text escaped as the HTML serializer
// escapes it, comments kept, void elements without end tags. Chromium's own
// outerHTML writes tag names in lower case. Evaluated as one expression.
(() => {
  const VOID = new Set(['AREA', 'BASE', 'BASEFONT', 'BGSOUND', 'BR', 'COL', 'EMBED', 'FRAME', 'HR', 'IMG',
                        'INPUT', 'KEYGEN', 'LINK', 'META', 'PARAM', 'SOURCE', 'TRACK', 'WBR']);
  const RAW = new Set(['STYLE', 'SCRIPT', 'XMP', 'IFRAME', 'NOEMBED', 'NOFRAMES', 'PLAINTEXT', 'NOSCRIPT']);
  const HTML = 'http://www.w3.org/1999/xhtml';
  const text = s => s.replace(/&/g, '&amp;').replace(/\u00a0/g, '&nbsp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  const attr = s => s.replace(/&/g, '&amp;').replace(/\u00a0/g, '&nbsp;').replace(/"/g, '&quot;');
  const out = [];
  const write = node => {
    switch (node.nodeType) {
    case Node.ELEMENT_NODE: {
      const name = node.tagName;
      const html = node.namespaceURI === HTML;
      out.push('<', name);
      for (const a of node.attributes) out.push(' ', a.name, '="', attr(a.value), '"');
      out.push('>');
      if (html && VOID.has(name)) return;
      const raw = html && RAW.has(name);
      const children = html && name === 'TEMPLATE' ? node.content.childNodes : node.childNodes;
      for (const child of children) {
        if (raw && child.nodeType === Node.TEXT_NODE) out.push(child.data);
        else write(child);
      }
      out.push('</', name, '>');
      return;
    }
    case Node.TEXT_NODE: out.push(text(node.data)); return;
    case Node.CDATA_SECTION_NODE: out.push('<![CDATA[', node.data, ']]>'); return;
    case Node.PROCESSING_INSTRUCTION_NODE: out.push('<?', node.target, ' ', node.data, '>'); return;
    case Node.COMMENT_NODE: out.push('<!--', node.data, '-->'); return;
    }
  };
  if (document.documentElement) write(document.documentElement);
  return out.join('');
})()
