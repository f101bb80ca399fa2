// The page's own texts, in English and in Japanese. The dialog's labels come
// from its resources (dialog_resources.js), never from here; the English of
// the page's fixed texts is in index.html, their Japanese under `page` below,
// by the element's data-text or data-text-label name.
const formatName = (format) => ({ png: 'PNG', jpeg: 'JPEG', webp: 'WebP' })[format] || format;

const en = {
  title: 'Vantrel: every channel order of a picture',
  'grid-empty': (count) => `Open a picture to see its ${count} orders.`,
  'swaps-only': 'Swaps only: the orders that take each channel once',
  'swap-mark': 'takes each channel once',
  footer: ({ mostSide, mostPixels }) =>
    `Pictures up to ${mostSide} pixels a side and ${mostPixels / 1e6} megapixels, 8 bits per sample, RGB with or ` +
    'without transparency. For 16-bit or CMYK files and larger pictures, use the command-line tool <code>vantrel</code>. ' +
    'After one visit the page works without the network, and it can be installed as an app.',
  'bad-order': (value, count, fallback) =>
    `order "${value}" is not one of the ${count} RGB orders (0 to ${count - 1}, or a name like "B R G"): ${fallback} is used instead`,
  'bad-blend': (value, names) => `blend "${value}" is not one of ${names}: no blending is used instead`,
  'bad-exclude': (value, channels) =>
    `exclude "${value}" is not a channel of an RGB picture (1 to ${channels}, or 0 for none): no channel is excluded instead`,
  'bad-format': (value) => `format "${value}" is not one of png, jpeg, webp: PNG is used instead`,
  'no-webp-link': 'this browser does not write WebP files: PNG is used instead',
  'bad-quality': (value) =>
    `quality "${value}" is not a whole number from 1 to 100: the picture's own JPEG quality, or 90, is used instead`,
  'link-warning': (problems) =>
    `This link asks for what the page cannot do: ${problems.join('; ')}. The address now shows the settings in use.`,
  'blend-words': (method) => `blended by ${{ cross: 'Cross', mix: 'Mix', both: 'Cross and Mix' }[method]}`,
  'exclude-words': (channel) => `channel ${channel} excluded`,
  'format-words': (format) => `saved as ${formatName(format)}`,
  'format-quality-words': (format, quality) => `saved as ${formatName(format)} at quality ${quality}`,
  'list-separator': ', ',
  'from-link': (words) => `The settings come from the link: ${words}. Reset puts back the defaults.`,
  carried: (before, words) => `The settings of ${before} carry over to this picture: ${words}. Reset puts back the defaults.`,
  writing: (name) => `Writing ${name}`,
  saved: (name) => `Saved ${name}.`,
  'save-cancelled': 'Cancelled: nothing was saved.',
  'open-cancelled': (name) => `Cancelled: ${name} was not opened.`,
  cancelled: 'Cancelled.',
  'worker-stopped': (why) => `The page's worker stopped: ${why}. Reload the page to go on.`,
  'dialog-stopped': (why) => `The dialog's worker stopped: ${why}. Reload the page to go on.`,
  'worker-stopped-picture': (why) => `the page's worker stopped (${why})`,
  pasted: 'pasted picture',
  'pictures-count': (count) => `${count} pictures`,
  'opens-once': (what, several, name, doing, instead) =>
    `${what} ${several ? 'open' : 'opens'} once ${name} is ${doing}${instead ? ` (in place of ${instead})` : ''}.`,
  'will-not-open': (what) => `${what} will not open.`,
  opening: (name) => `Opening ${name}`,
  opened: (name, width, height, alpha) => `${name}: ${width} x ${height} pixels, RGB${alpha ? ' with transparency' : ''}.`,
  'filtering-grid': 'Filtering the thumbnail in every order',
  'filtering-whole': (name) => `Filtering ${name} as a whole`,
  'pictures-title': (count) => `${count} pictures open`,
  'item-open': '',
  'item-waiting': 'waiting',
  'item-working': 'being saved',
  'item-done': (note) => `saved${note ? `; ${note}` : ''}`,
  'item-failed': (why) => `failed: ${why}`,
  show: 'Show',
  'show-named': (name) => `Show ${name}`,
  'fit-scale': (percent) => `Fit (${percent} %)`,
  'view-filtering': 'Filtering the whole picture…',
  'view-filtering-part': (percent) => `Filtering the whole picture… ${percent} %`,
  'view-failed': (why) => `The whole picture cannot be shown: ${why}.`,
  'view-reduced': (reduction) => `(shown from a copy at 1:${reduction}, the picture being this large)`,
  'reset-done': 'The settings are back to their defaults.',
  'note-png': 'PNG keeps every value exactly.',
  'note-jpeg-set': (quality) => `JPEG at quality ${quality}, set here.`,
  'note-jpeg-batch': 'JPEG, each picture as the command-line tool writes it: a JPEG file at its own quality and ' +
    'chroma subsampling, any other picture at quality 90. Set a quality to choose one for all.',
  'note-jpeg-own': (name, quality, subsampling) => `JPEG at quality ${quality} and ${subsampling} chroma subsampling, ` +
    `as ${name} has them (the command-line tool's rule). Set a quality to choose another.`,
  'note-jpeg-default': "JPEG at quality 90 (the command-line tool's rule for a picture that is no JPEG file). " +
    'Set a quality to choose another.',
  'note-jpeg-alpha': (name) => `${name} has transparency, which a JPEG file cannot hold: save it as PNG or WebP.`,
  'note-webp': (quality) => `WebP, written by this browser's own encoder${quality !== null ? ` at quality ${quality}` : ''}.`,
  'no-webp': 'This browser does not write WebP files.',
  'save-one': (format) => `Save as ${format}`,
  'save-several': (count, format) => `Save ${count} pictures as ${format} (zip)`,
  'saving-several': (count) => `Saving ${count} pictures`,
  'batch-cancelled': 'Cancelled: no zip was saved.',
  'batch-none': (failures) => `No picture could be saved. ${failures}`,
  'batch-some': (zip, saved, failed, failures) => `Saved ${zip} with ${saved} pictures; ${failed} failed. ${failures}`,
  'batch-saved': (zip, count) => `Saved ${zip} with ${count} pictures.`,
};

const ja = {
  title: 'Vantrel：画像のチャンネル順をすべて見る',
  'grid-empty': (count) => `画像を開くと、${count} 通りの順序が表示されます。`,
  'swaps-only': '入れ替えのみ：各チャンネルを一度ずつ使う順序',
  'swap-mark': '各チャンネルを一度ずつ使う',
  'bad-order': (value, count, fallback) =>
    `order「${value}」は ${count} 通りの RGB の順序のどれでもありません（0 から ${count - 1}、または「B R G」のような名前）。代わりに ${fallback} を使います`,
  'bad-blend': (value, names) => `blend「${value}」は ${names} のどれでもありません。代わりにブレンドしません`,
  'bad-exclude': (value, channels) =>
    `exclude「${value}」は RGB 画像のチャンネルではありません（1 から ${channels}、除外しないときは 0）。代わりにどのチャンネルも除外しません`,
  'bad-format': (value) => `format「${value}」は png、jpeg、webp のどれでもありません。代わりに PNG を使います`,
  'no-webp-link': 'このブラウザーは WebP ファイルを書き出せません。代わりに PNG を使います',
  'bad-quality': (value) =>
    `quality「${value}」は 1 から 100 までの整数ではありません。代わりに画像自身の JPEG 品質、または 90 を使います`,
  'link-warning': (problems) =>
    `このリンクは、このページにできないことを求めています：${problems.join('。')}。アドレスは今使っている設定に書き換えました。`,
  'blend-words': (method) => `${{ cross: 'Cross', mix: 'Mix', both: 'Cross と Mix' }[method]} でブレンド`,
  'exclude-words': (channel) => `${channel} 番目のチャンネルを除外`,
  'format-words': (format) => `${formatName(format)} で保存`,
  'format-quality-words': (format, quality) => `${formatName(format)}（品質 ${quality}）で保存`,
  'list-separator': '、',
  'from-link': (words) => `設定はリンクから取りました：${words}。リセットで初期設定に戻ります。`,
  carried: (before, words) => `${before} の設定をこの画像に引き継いでいます：${words}。リセットで初期設定に戻ります。`,
  writing: (name) => `${name} を書き出しています`,
  saved: (name) => `${name} を保存しました。`,
  'save-cancelled': 'キャンセルしました。何も保存していません。',
  'open-cancelled': (name) => `キャンセルしました。${name} は開いていません。`,
  cancelled: 'キャンセルしました。',
  'worker-stopped': (why) => `ページのワーカーが止まりました（${why}）。続けるにはページを読み込み直してください。`,
  'dialog-stopped': (why) => `ダイアログのワーカーが止まりました（${why}）。続けるにはページを読み込み直してください。`,
  'worker-stopped-picture': (why) => `ページのワーカーが止まりました（${why}）`,
  pasted: '貼り付けた画像',
  'pictures-count': (count) => `${count} 枚の画像`,
  'opens-once': (what, several, name, doing, instead) =>
    `${name} を${doing === 'open' ? '開き' : '保存し'}終えたら、${what}を開きます${instead ? `（${instead}の代わりに）` : ''}。`,
  'will-not-open': (what) => `${what}は開きません。`,
  opening: (name) => `${name} を開いています`,
  opened: (name, width, height, alpha) => `${name}：${width} × ${height} ピクセル、RGB${alpha ? '（透明度あり）' : ''}。`,
  'filtering-grid': 'サムネイルをすべての順序でフィルターにかけています',
  'filtering-whole': (name) => `${name} の全体をフィルターにかけています`,
  'pictures-title': (count) => `${count} 枚の画像を開いています`,
  'item-open': '',
  'item-waiting': '待機中',
  'item-working': '保存中',
  'item-done': (note) => `保存しました${note ? `（${note}）` : ''}`,
  'item-failed': (why) => `失敗しました：${why}`,
  show: '表示',
  'show-named': (name) => `${name} を表示`,
  'fit-scale': (percent) => `全体表示（${percent} %）`,
  'view-filtering': '画像全体をフィルターにかけています…',
  'view-filtering-part': (percent) => `画像全体をフィルターにかけています… ${percent} %`,
  'view-failed': (why) => `画像全体を表示できません：${why}。`,
  'view-reduced': (reduction) => `（画像が大きいため、1:${reduction} に縮小したコピーで表示）`,
  'reset-done': '設定を初期設定に戻しました。',
  'note-png': 'PNG はすべての値をそのまま保ちます。',
  'note-jpeg-set': (quality) => `JPEG、品質 ${quality}（ここで設定）。`,
  'note-jpeg-batch': 'JPEG。コマンドラインツールと同じく、JPEG ファイルはそれ自身の品質とクロマサブサンプリングで、' +
    'そのほかの画像は品質 90 で書き出します。品質を入力すると、すべてをその品質にします。',
  'note-jpeg-own': (name, quality, subsampling) => `JPEG、品質 ${quality}、クロマサブサンプリング ${subsampling}。` +
    `${name} と同じです（コマンドラインツールと同じ決まり）。別の品質にするには品質を入力してください。`,
  'note-jpeg-default': 'JPEG、品質 90（JPEG ファイルでない画像に対するコマンドラインツールの決まり）。' +
    '別の品質にするには品質を入力してください。',
  'note-jpeg-alpha': (name) => `${name} には透明度がありますが、JPEG ファイルには透明度を保てません。PNG か WebP で保存してください。`,
  'note-webp': (quality) => `WebP。このブラウザー自身のエンコーダーで書き出します${quality !== null ? `（品質 ${quality}）` : ''}。`,
  'no-webp': 'このブラウザーは WebP ファイルを書き出せません。',
  'save-one': (format) => `${format} で保存`,
  'save-several': (count, format) => `${count} 枚を ${format} で保存（zip）`,
  'saving-several': (count) => `${count} 枚の画像を保存しています`,
  'batch-cancelled': 'キャンセルしました。zip は保存していません。',
  'batch-none': (failures) => `保存できた画像はありません。${failures}`,
  'batch-some': (zip, saved, failed, failures) => `${zip} に ${saved} 枚を保存しました。${failed} 枚は失敗しました。${failures}`,
  'batch-saved': (zip, count) => `${zip} に ${count} 枚を保存しました。`,

  // The fixed texts of index.html, by name.
  page: {
    intro: 'Vantrel フィルタープラグインのコードそのものがこのページの中で動き、画像のチャンネルの順序をすべて見せます。' +
      '何もアップロードしません。画像はこのコンピューターから出ません。',
    open: '画像を開く…',
    'open-more': 'または、このページにドロップするか、貼り付けてください。',
    install: 'このページをアプリとしてインストール',
    update: 'このページの新しい版が用意できました。',
    'update-reload': '読み込み直す',
    dismiss: '閉じる',
    'view-title': '画像全体',
    'view-canvas': '画像全体：ドラッグで移動、ピンチまたは + と - で拡大縮小、O キーを押している間は元画像を表示',
    split: '元画像と結果の境目',
    before: '元画像',
    after: '結果',
    fit: '全体表示',
    actual: '等倍',
    'zoom-out': '縮小',
    'zoom-in': '拡大',
    compare: '比較',
    'compare-title': '左に元画像、右に結果。境目はドラッグで動かせます',
    original: '元画像',
    'original-title': '押している間（または画像の上で O キーを押している間）元画像を表示',
    'orders-title': 'すべての順序を一覧',
    'pictures-note': 'これらの設定はすべての画像に適用されます。保存すると、それぞれをフィルターにかけ、' +
      '1 つの zip にまとめてダウンロードします。',
    'saving-title': '保存',
    format: '形式',
    quality: '品質',
    reset: 'リセット',
    'save-hint': '保存したファイルは、フィルターの出力そのものです。画像自身の値がそのまま入り（PNG では透明度も）、' +
      'カラープロファイルと Exif データも保たれます。このページへのリンクには、今の設定が残ります。',
    'dialog-title': 'フィルターのダイアログ',
    'nudge-up-left': '表示を左上へ動かす',
    'nudge-up': '表示を上へ動かす',
    'nudge-up-right': '表示を右上へ動かす',
    'nudge-left': '表示を左へ動かす',
    'nudge-right': '表示を右へ動かす',
    'nudge-down-left': '表示を左下へ動かす',
    'nudge-down': '表示を下へ動かす',
    'nudge-down-right': '表示を右下へ動かす',
    preview: 'プレビュー：ドラッグで移動、ダブルクリックで中央へ。矢印キーで移動、+ と - で拡大縮小',
    channel: '除外するチャンネル',
    'dialog-hint': 'ダイアログには、画像編集ソフトと同じく、フィルター自身のプレビューが表示されます。',
  },
  footer: ({ mostSide, mostPixels }) =>
    `1 辺 ${mostSide} ピクセル、${new Intl.NumberFormat('ja-JP', { notation: 'compact' }).format(mostPixels)}ピクセルまでの、` +
    'チャンネルあたり 8 ビットの RGB 画像（透明度の有無を問わず）を扱えます。' +
    '16 ビットや CMYK のファイル、さらに大きな画像には、コマンドラインツール <code>vantrel</code> をお使いください。' +
    '一度開いたあとはネットワークなしでも動き、アプリとしてインストールできます。',
};

// t(name, ...values): the text of that name in `language`, and t.html(name)
// a fixed text of the page (which may hold markup of ours).
export function texts(language) {
  const table = language === 'ja' ? ja : en;
  const t = (name, ...values) => {
    const text = table[name] ?? table.page?.[name] ?? en[name];
    if (text === undefined) throw new Error(`the page has no text named ${name}`);
    return typeof text === 'function' ? text(...values) : text;
  };
  t.html = (name) => table.page?.[name] ?? t(name);
  return t;
}
