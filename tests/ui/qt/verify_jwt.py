#!/usr/bin/python3
"""Checks an RS256 token's signature with PUBLIC_KEY and prints its header and
claims as JSON. Exits non-zero when the signature does not verify."""
import json
import sys

import jwt

token, public_key = sys.argv[1], open(sys.argv[2]).read()
try:
    claims = jwt.decode(token, public_key, algorithms=["RS256"],
                        options={"verify_exp": False, "verify_nbf": False, "verify_iat": False})
except jwt.InvalidTokenError as e:
    print("invalid: %s" % e, file=sys.stderr)
    sys.exit(1)
print(json.dumps({"header": jwt.get_unverified_header(token), "claims": claims}))
