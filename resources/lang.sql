-- Seed of the language catalogue "lang.db", turned into the resource
-- :/qrc/lang.db at build time. One row per language; file1 is the archive of
-- the standard model and file2 that of the large model, empty where the
-- language has none. dt, local1 and local2 are filled in by the program.

CREATE TABLE lang (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  eng varchar,
  native varchar,
  file1 varchar,
  file2 varchar,
  desc1 varchar,
  desc2 varchar,
  dt INTEGER,
  fn varchar,
  local1 varchar,
  local2 varchar,
  invalid1 integer default 0,
  invalid2 integer default 0
);

INSERT INTO lang (id, fn, eng, native, file1, file2) VALUES
  (1, 'en', 'English', 'English', 'vosk-model-small-en-us-0.15.zip', 'vosk-model-en-us-0.22.zip'),
  (2, 'cn', 'Chinese', '中文', 'vosk-model-small-cn-0.22.zip', 'vosk-model-cn-0.22.zip'),
  (3, 'ru', 'Russian', 'Русский язык', 'vosk-model-small-ru-0.22.zip', 'vosk-model-ru-0.22.zip'),
  (4, 'fr', 'French', 'français', 'vosk-model-small-fr-0.22.zip', 'vosk-model-fr-0.22.zip'),
  (5, 'de', 'German', 'Deutsch', 'vosk-model-small-de-0.15.zip', 'vosk-model-de-0.21.zip'),
  (6, 'es', 'Spanish', 'español/castellano', 'vosk-model-small-es-0.42.zip', 'vosk-model-es-0.42.zip'),
  (7, 'pt', 'Portuguese', 'português', 'vosk-model-small-pt-0.3.zip', 'vosk-model-pt-fb-v0.1.1-20220516_2113.zip'),
  (8, 'gr', 'Greek', 'ελληνικά (ellēniká)', '', 'vosk-model-el-gr-0.7.zip'),
  (9, 'tr', 'Turkish', 'Türkçe', 'vosk-model-small-tr-0.3.zip', ''),
  (10, 'vn', 'Vietnamese', 'tiếng việt (㗂越)', 'vosk-model-small-vn-0.4.zip', ''),
  (11, 'it', 'Italian', 'italiano', 'vosk-model-small-it-0.22.zip', 'vosk-model-it-0.22.zip'),
  (12, 'nl', 'Dutch', 'Nederlands', 'vosk-model-small-nl-0.22.zip', 'vosk-model-nl-spraakherkenning-0.6.zip'),
  (13, 'ca', 'Catalan', 'català', 'vosk-model-small-ca-0.4.zip', ''),
  (14, 'ar', 'Arabic', '(al arabiya) العربية', 'vosk-model-small-ar-tn-0.1-linto.zip', 'vosk-model-ar-mgb2-0.4.zip'),
  (15, 'fa', 'Farsi', '(fārsī) فارسى', 'vosk-model-small-fa-0.5.zip', 'vosk-model-fa-0.5.zip'),
  (16, 'ph', 'Filipino', 'Filipino; Pilipino', '', 'vosk-model-tl-ph-generic-0.6.zip'),
  (17, 'uk', 'Ukrainian', 'Українська (Ukrajins’ka)', 'vosk-model-small-uk-v3-small.zip', 'vosk-model-uk-v3.zip'),
  (18, 'kz', 'Kazakh', 'Қазақ тілі / Qazaq tili / قازاق ٴتىلى', 'vosk-model-small-kz-0.15.zip', 'vosk-model-kz-0.15.zip'),
  (19, 'sv', 'Swedish', 'Svenska', 'vosk-model-small-sv-rhasspy-0.15.zip', ''),
  (20, 'ja', 'Japanese', '日本語', 'vosk-model-small-ja-0.22.zip', 'vosk-model-ja-0.22.zip'),
  (21, 'eo', 'Esperanto', 'Esperanto', 'vosk-model-small-eo-0.42.zip', ''),
  (22, 'hi', 'Hindi', 'हिन्दी (hindī)', 'vosk-model-small-hi-0.22.zip', 'vosk-model-hi-0.22.zip'),
  (23, 'cs', 'Czech', 'čeština/český jazyk', 'vosk-model-small-cs-0.4-rhasspy.zip', ''),
  (24, 'pl', 'Polish', 'polski/język polski/polszczyzna', 'vosk-model-small-pl-0.22.zip', '');
