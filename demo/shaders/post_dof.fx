// Depth of field: mobiles write their distance from the focal plane into
// alpha (dof_world); the post pass blends the sharp scene with four samples
// around each pixel by that alpha (post_dof).

shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldView : WORLDVIEW;
float4 focalplane = { 0.0f, 0.0f, 1.0f, 0.0f };
float2 texaspect = { 1.0f, 1.0f };
float time = 0.0f;
float invtime = 1.0f;
texture screen;

sampler screenSampler = sampler_state
{
    Texture = <screen>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct DepthOut
{
    float4 position : POSITION;
    float blur : TEXCOORD0;
};

DepthOut DepthVS(float4 position : POSITION)
{
    DepthOut output;
    output.position = mul(position, WorldViewProj);
    float4 eye = mul(position, WorldView);
    output.blur = saturate(abs(dot(eye, focalplane)) / 500.0f);
    return output;
}

float4 DepthPS(DepthOut input) : COLOR
{
    return float4(0.0f, 0.0f, 0.0f, input.blur);
}

struct PostIn
{
    float4 position : POSITION;
    float2 uv0 : TEXCOORD0;
    float2 uv1 : TEXCOORD1;
    float2 uv2 : TEXCOORD2;
    float2 uv3 : TEXCOORD3;
};

float4 PostPS(PostIn input) : COLOR
{
    float2 centre = (input.uv0 + input.uv3) * 0.5f * texaspect;
    float4 sharp = tex2D(screenSampler, centre);
    float4 soft = (tex2D(screenSampler, input.uv0 * texaspect) + tex2D(screenSampler, input.uv1 * texaspect) +
                   tex2D(screenSampler, input.uv2 * texaspect) + tex2D(screenSampler, input.uv3 * texaspect)) * 0.25f;
    return float4(lerp(sharp.rgb, soft.rgb, sharp.a), 1.0f);
}

technique dof_world
{
    pass p0
    {
        VertexShader = compile vs_2_0 DepthVS();
        PixelShader = compile ps_2_0 DepthPS();
    }
}

technique post_dof
{
    pass p0
    {
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = false;
        PixelShader = compile ps_2_0 PostPS();
    }
}
