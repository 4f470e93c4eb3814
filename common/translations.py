# The nine other columns of each translated row: French, Spanish (Spain),
# Italian, German, Portuguese (Portugal), French (Canada), Spanish (other
# countries), Portuguese (Brazil), Dutch. None takes the related column
# (France's French, Spain's Spanish, Portugal's Portuguese).
from english_rows import ENGLISH, SAME_IN_ALL

TRANSLATIONS = {i: [ENGLISH[i]] * 9 for i in range(168) if i not in SAME_IN_ALL}
